#ifndef WINDOWHELPERS_H
#define WINDOWHELPERS_H

#include "mainwindow.h"

#include <QStringList>
#include <functional>
#include <memory>

class QCheckBox;

// A fresh main window. On a machine without idle ports its constructor raises the
// discovery warning; that box is answered here so every test starts alike.
std::unique_ptr<MainWindow> newWindow();

// Runs `act` once the program's main window is on screen; for tests that drive the real
// main(). A machine without idle ports shows a warning first; it is answered on the way.
void onceMainWindowShown(std::function<void(MainWindow *)> act);

// Offers the given device path in the port list and selects it, as if discovery had found it.
void selectPort(MainWindow &window, const QString &path);

// Clicks a check box on its indicator, where a user would.
void clickIndicator(QCheckBox *box);

// The serial-port lock files this process holds. Tests run side by side, so the others'
// locks come and go meanwhile.
QStringList portLocksHeldHere();

#endif // WINDOWHELPERS_H
