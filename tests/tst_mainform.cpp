#include "ui_mainwindow.h"

#include <QtTest>

// The main form as the rest of the program and its users rely on it.
class TestMainForm : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void objectTree_data();
    void objectTree();
    void geometry_data();
    void geometry();
    void containerLayouts();
    void texts_data();
    void texts();
    void lists_data();
    void lists();
    void initialState();
    void focusFollowsCreationOrder();
    void presetObjectNameIsKept();

private:
    QMainWindow *window = nullptr;
    Ui::MainWindow *ui = nullptr;
};

void TestMainForm::init()
{
    window = new QMainWindow;
    ui = new Ui::MainWindow;
    ui->setupUi(window);
}

void TestMainForm::cleanup()
{
    delete ui;
    delete window;
}

void TestMainForm::objectTree_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("className");
    QTest::addColumn<QString>("parentName");

    const char *rows[][3] = {
        {"centralWidget", "QWidget", "MainWindow"},
        {"groupBox", "QGroupBox", "centralWidget"},
        {"comLog", "QTextBrowser", "groupBox"},
        {"groupBox_2", "QGroupBox", "centralWidget"},
        {"openCom", "QCheckBox", "groupBox_2"},
        {"layoutWidget", "QWidget", "groupBox_2"},
        {"verticalLayout", "QVBoxLayout", "layoutWidget"},
        {"horizontalLayout", "QHBoxLayout", "verticalLayout"},
        {"label", "QLabel", "layoutWidget"},
        {"portName", "QComboBox", "layoutWidget"},
        {"horizontalLayout_5", "QHBoxLayout", "verticalLayout"},
        {"label_5", "QLabel", "layoutWidget"},
        {"dataBits", "QComboBox", "layoutWidget"},
        {"horizontalLayout_2", "QHBoxLayout", "verticalLayout"},
        {"label_2", "QLabel", "layoutWidget"},
        {"baudRate", "QComboBox", "layoutWidget"},
        {"horizontalLayout_4", "QHBoxLayout", "verticalLayout"},
        {"label_4", "QLabel", "layoutWidget"},
        {"stopBits", "QComboBox", "layoutWidget"},
        {"horizontalLayout_3", "QHBoxLayout", "verticalLayout"},
        {"label_3", "QLabel", "layoutWidget"},
        {"parity", "QComboBox", "layoutWidget"},
        {"groupBox_3", "QGroupBox", "centralWidget"},
        {"layoutWidget1", "QWidget", "groupBox_3"},
        {"horizontalLayout_6", "QHBoxLayout", "layoutWidget1"},
        {"message", "QTextEdit", "layoutWidget1"},
        {"btnSend", "QPushButton", "layoutWidget1"},
        {"pushButton", "QPushButton", "centralWidget"},
    };
    for (const auto &row : rows)
        QTest::newRow(row[0]) << row[0] << row[1] << row[2];
}

void TestMainForm::objectTree()
{
    QFETCH(QString, name);
    QFETCH(QString, className);
    QFETCH(QString, parentName);

    const QList<QObject *> matches = window->findChildren<QObject *>(name);
    QCOMPARE(matches.size(), 1);
    QObject *object = matches.first();
    QCOMPARE(QString(object->metaObject()->className()), className);
    QVERIFY(object->parent());
    QCOMPARE(object->parent()->objectName(), parentName);
}

void TestMainForm::geometry_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("rect");

    QTest::newRow("groupBox") << "groupBox" << QRect(10, 10, 361, 351);
    QTest::newRow("comLog") << "comLog" << QRect(10, 20, 341, 321);
    QTest::newRow("groupBox_2") << "groupBox_2" << QRect(380, 10, 271, 351);
    QTest::newRow("openCom") << "openCom" << QRect(30, 300, 131, 31);
    QTest::newRow("layoutWidget") << "layoutWidget" << QRect(20, 30, 231, 261);
    QTest::newRow("groupBox_3") << "groupBox_3" << QRect(10, 370, 641, 111);
    QTest::newRow("layoutWidget1") << "layoutWidget1" << QRect(10, 20, 621, 81);
    QTest::newRow("pushButton") << "pushButton" << QRect(590, 490, 75, 23);
}

void TestMainForm::geometry()
{
    QFETCH(QString, name);
    QFETCH(QRect, rect);

    auto *widget = window->findChild<QWidget *>(name);
    QVERIFY(widget);
    QCOMPARE(widget->geometry(), rect);
}

void TestMainForm::containerLayouts()
{
    for (QBoxLayout *layout : {static_cast<QBoxLayout *>(ui->verticalLayout),
                               static_cast<QBoxLayout *>(ui->horizontalLayout_6)}) {
        QCOMPARE(layout->spacing(), 6);
        QCOMPARE(layout->contentsMargins(), QMargins(0, 0, 0, 0));
    }
    // Rows run port, data bits, baud rate, stop bits, parity, whatever their names say.
    const QList<QLayout *> rows = {ui->horizontalLayout, ui->horizontalLayout_5,
                                   ui->horizontalLayout_2, ui->horizontalLayout_4,
                                   ui->horizontalLayout_3};
    for (int i = 0; i < rows.size(); ++i) {
        QCOMPARE(ui->verticalLayout->itemAt(i)->layout(), rows.at(i));
        QCOMPARE(rows.at(i)->spacing(), 6);
    }
    QCOMPARE(ui->horizontalLayout_6->itemAt(0)->widget(), ui->message);
    QCOMPARE(ui->horizontalLayout_6->itemAt(1)->widget(), ui->btnSend);
}

void TestMainForm::texts_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("text");

    // The five labels end in the full-width colon U+FF1A.
    QTest::newRow("groupBox") << "groupBox" << "通信日志";
    QTest::newRow("groupBox_2") << "groupBox_2" << "串口参数";
    QTest::newRow("openCom") << "openCom" << "打开串口";
    QTest::newRow("label") << "label" << "串口\uFF1A";
    QTest::newRow("label_5") << "label_5" << "数据位\uFF1A";
    QTest::newRow("label_2") << "label_2" << "波特率\uFF1A";
    QTest::newRow("label_4") << "label_4" << "停止位\uFF1A";
    QTest::newRow("label_3") << "label_3" << "校验位\uFF1A";
    QTest::newRow("groupBox_3") << "groupBox_3" << "发送";
    QTest::newRow("btnSend") << "btnSend" << "发送";
    QTest::newRow("pushButton") << "pushButton" << "关于";
}

void TestMainForm::texts()
{
    QFETCH(QString, name);
    QFETCH(QString, text);

    QObject *object = window->findChild<QObject *>(name);
    QVERIFY(object);
    const char *property = qobject_cast<QGroupBox *>(object) ? "title" : "text";
    QCOMPARE(object->property(property).toString(), text);
    QCOMPARE(window->windowTitle(), QString("Qt串口通信"));
}

void TestMainForm::lists_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QStringList>("items");

    QTest::newRow("dataBits") << "dataBits" << QStringList{"8", "7", "6", "5"};
    QTest::newRow("baudRate") << "baudRate" << QStringList{"9600", "4800", "19200", "38400"};
    QTest::newRow("stopBits") << "stopBits" << QStringList{"1", "2"};
    QTest::newRow("parity") << "parity" << QStringList{"NoParity", "EvenParity", "OddParity"};
}

void TestMainForm::lists()
{
    QFETCH(QString, name);
    QFETCH(QStringList, items);

    auto *box = window->findChild<QComboBox *>(name);
    QVERIFY(box);
    for (int pass = 0; pass < 2; ++pass) {
        QStringList seen;
        for (int i = 0; i < box->count(); ++i)
            seen.append(box->itemText(i));
        QCOMPARE(seen, items);
        QCOMPARE(box->currentText(), items.first());
        // Setting the texts again must neither double the lists nor touch the port list.
        ui->portName->addItem("ttyX");
        ui->retranslateUi(window);
        QCOMPARE(ui->portName->count(), pass + 1);
    }
}

void TestMainForm::initialState()
{
    QCOMPARE(window->size(), QSize(676, 515));
    QCOMPARE(window->centralWidget(), ui->centralWidget);
    QCOMPARE(ui->portName->count(), 0);
    QVERIFY(!ui->btnSend->isEnabled());
    QVERIFY(!ui->openCom->isChecked());
    QVERIFY(ui->comLog->toPlainText().isEmpty());
    QVERIFY(ui->message->toPlainText().isEmpty());
}

void TestMainForm::focusFollowsCreationOrder()
{
    // openCom is drawn below the parameter rows but created before them, so Tab reaches it first.
    const QStringList expected = {"comLog",   "openCom", "portName", "dataBits", "baudRate",
                                  "stopBits", "parity",  "message",  "btnSend",  "pushButton"};
    QStringList seen;
    QWidget *widget = ui->comLog;
    do {
        if (expected.contains(widget->objectName()))
            seen.append(widget->objectName());
        widget = widget->nextInFocusChain();
    } while (widget != ui->comLog);
    QCOMPARE(seen, expected);
}

void TestMainForm::presetObjectNameIsKept()
{
    QMainWindow named;
    named.setObjectName("terminal");
    Ui::MainWindow form;
    form.setupUi(&named);
    QCOMPARE(named.objectName(), QString("terminal"));
    QCOMPARE(window->objectName(), QString("MainWindow"));
}

QTEST_MAIN(TestMainForm)
#include "tst_mainform.moc"
