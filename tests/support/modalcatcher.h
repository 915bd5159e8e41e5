#ifndef MODALCATCHER_H
#define MODALCATCHER_H

#include <QMessageBox>
#include <QObject>
#include <QTimer>
#include <QVector>

// Answers the modal message boxes raised while it lives, recording what each one showed.
// Create it before the code that raises a box: the box's own event loop runs its timer.
class ModalCatcher : public QObject
{
public:
    struct Box
    {
        QString title;
        QString text;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        QMessageBox::StandardButtons buttons;
        bool hasParent = false;
        bool mainWindowVisible = false; // was a main window on screen under the box?
    };

    ModalCatcher();

    const QVector<Box> &boxes() const { return m_boxes; }
    QStringList texts() const;

private:
    void poll();

    QTimer m_timer;
    QVector<Box> m_boxes;
};

#endif // MODALCATCHER_H
