#include "windowhelpers.h"

#include <QImageReader>
#include <QResource>
#include <QtTest>

// The picture bundle compiled into the program.
class TestResources : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void images_data();
    void images();
    void stillThereAfterTheWindowIsGone();

private:
    QStringList m_resolvedBeforeAnyWindow;
};

namespace {
const QStringList paths = {":/image/public.jpg", ":/image/pay.png", ":/image/close.png",
                           ":/image/add.png", ":/image/close_dark.png"};
}

void TestResources::initTestCase()
{
    // No window exists yet; registration happened before main().
    QVERIFY(QApplication::topLevelWidgets().isEmpty());
    for (const QString &path : paths) {
        if (QFile::exists(path))
            m_resolvedBeforeAnyWindow.append(path);
    }
}

void TestResources::images_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QByteArray>("format");
    QTest::addColumn<QSize>("size");

    QTest::newRow("public.jpg") << ":/image/public.jpg" << QByteArray("jpeg") << QSize(258, 258);
    QTest::newRow("pay.png") << ":/image/pay.png" << QByteArray("png") << QSize(308, 436);
    QTest::newRow("close.png") << ":/image/close.png" << QByteArray("png") << QSize(32, 32);
    QTest::newRow("add.png") << ":/image/add.png" << QByteArray("png") << QSize(64, 64);
    QTest::newRow("close_dark.png") << ":/image/close_dark.png" << QByteArray("png")
                                    << QSize(32, 32);
}

void TestResources::images()
{
    QFETCH(QString, path);
    QFETCH(QByteArray, format);
    QFETCH(QSize, size);

    QVERIFY(m_resolvedBeforeAnyWindow.contains(path));
    const QResource resource(path);
    QVERIFY(resource.isValid());
    QCOMPARE(resource.compressionAlgorithm(), QResource::NoCompression);

    QImageReader reader(path);
    QCOMPARE(reader.format(), format);
    QCOMPARE(reader.size(), size);
    const QImage image = reader.read();
    QVERIFY2(!image.isNull(), qPrintable(reader.errorString()));
    if (format == "png") {
        QVERIFY(image.hasAlphaChannel());
        QCOMPARE(image.depth(), 32);
    }
    if (path.endsWith("pay.png"))
        QCOMPARE(image.dotsPerMeterX(), 3780); // 96 dpi
}

void TestResources::stillThereAfterTheWindowIsGone()
{
    newWindow().reset();
    for (const QString &path : paths)
        QVERIFY2(QFile::exists(path), qPrintable(path));
}

QTEST_MAIN(TestResources)
#include "tst_resources.moc"
