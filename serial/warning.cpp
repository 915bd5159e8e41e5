#include "warning.h"

#include <QMessageBox>

void showWarning(const QString &text)
{
    QMessageBox::warning(nullptr, QStringLiteral("Tip"), text);
}
