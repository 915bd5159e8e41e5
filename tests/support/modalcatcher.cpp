#include "modalcatcher.h"

#include <QApplication>
#include <QMainWindow>
#include <QPushButton>

ModalCatcher::ModalCatcher()
{
    connect(&m_timer, &QTimer::timeout, this, &ModalCatcher::poll);
    m_timer.start(5);
}

QStringList ModalCatcher::texts() const
{
    QStringList result;
    for (const Box &box : m_boxes)
        result.append(box.text);
    return result;
}

void ModalCatcher::poll()
{
    auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
    if (!box || !box->isVisible())
        return;

    Box seen;
    seen.title = box->windowTitle();
    seen.text = box->text();
    seen.icon = box->icon();
    seen.buttons = box->standardButtons();
    seen.hasParent = box->parentWidget() != nullptr;
    const QWidgetList windows = QApplication::topLevelWidgets();
    for (QWidget *window : windows) {
        if (qobject_cast<QMainWindow *>(window) && window->isVisible())
            seen.mainWindowVisible = true;
    }
    m_boxes.append(seen);

    if (QAbstractButton *ok = box->button(QMessageBox::Ok))
        ok->click();
    else
        box->reject();
}
