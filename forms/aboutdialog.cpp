#include "forms/aboutdialog.h"
#include "ui_aboutdialog.h"

AboutDialog::AboutDialog(QWidget *parent)
    : QDialog(parent)
    , ui(new Ui::AboutDialog)
{
    ui->setupUi(this);
    // The version a bug report needs: the project's own, as its packages carry it.
    ui->label_5->setText(ui->label_5->text().arg(QStringLiteral(WIRELET_VERSION)));
}

AboutDialog::~AboutDialog()
{
    delete ui;
}
