#include "windowhelpers.h"
#include "modalcatcher.h"

#include "busyport.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QMessageBox>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTest>
#include <QTimer>
#include <unistd.h>

std::unique_ptr<MainWindow> newWindow()
{
    ModalCatcher discoveryWarning;
    return std::make_unique<MainWindow>();
}

void onceMainWindowShown(std::function<void(MainWindow *)> act)
{
    auto *poll = new QTimer(qApp);
    QObject::connect(poll, &QTimer::timeout, qApp, [poll, act] {
        MainWindow *shown = nullptr;
        for (QWidget *widget : QApplication::topLevelWidgets()) {
            if (auto *window = qobject_cast<MainWindow *>(widget); window && window->isVisible())
                shown = window;
            else if (qobject_cast<QMessageBox *>(widget) && widget->isVisible())
                widget->close();
        }
        if (!shown)
            return;
        poll->deleteLater();
        poll->stop();
        act(shown);
    });
    poll->start(10);
}

void selectPort(MainWindow &window, const QString &path)
{
    auto *portName = window.findChild<QComboBox *>(QStringLiteral("portName"));
    Q_ASSERT(portName);
    portName->addItem(path);
    portName->setCurrentIndex(portName->count() - 1);
}

void clickIndicator(QCheckBox *box)
{
    QStyleOptionButton option;
    option.initFrom(box);
    const QRect indicator = box->style()->subElementRect(QStyle::SE_CheckBoxIndicator, &option, box);
    QTest::mouseClick(box, Qt::LeftButton, Qt::NoModifier, indicator.center());
}

QStringList portLocksHeldHere()
{
    QStringList held;
    const QDir locks(QFileInfo(portLockFilePath(QStringLiteral("/dev/none"))).path());
    const QByteArray pid = QByteArray::number(qint64(::getpid()));
    for (const QString &name : locks.entryList({"LCK..*"}, QDir::Files | QDir::System)) {
        QFile lock(locks.filePath(name));
        if (lock.open(QIODevice::ReadOnly) && lock.readLine().trimmed() == pid)
            held.append(name);
    }
    return held;
}
