#include "windowhelpers.h"
#include "modalcatcher.h"

#include <QCheckBox>
#include <QComboBox>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTest>

std::unique_ptr<MainWindow> newWindow()
{
    ModalCatcher discoveryWarning;
    return std::make_unique<MainWindow>();
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
