// The file-type icons resolve from the start of the process, before any
// widget exists, also though the collection comes through a static library.

#include <QApplication>
#include <QImage>
#include <QtTest>

class ResourcesTest : public QObject
{
    Q_OBJECT

private slots:
    void iconsResolveBeforeAnyWidget_data();
    void iconsResolveBeforeAnyWidget();
    void pathsAreCaseSensitive();
};

void ResourcesTest::iconsResolveBeforeAnyWidget_data()
{
    QTest::addColumn<QString>("path");
    for (const char *name : { "text", "picture", "music", "engine", "world", "wifi", "unknown" })
        QTest::newRow(name) << QString(":/new/icons/%1.png").arg(name);
}

void ResourcesTest::iconsResolveBeforeAnyWidget()
{
    QVERIFY(QApplication::allWidgets().isEmpty());
    QFETCH(QString, path);
    QImage image(path);
    QVERIFY2(!image.isNull(), qPrintable(path));
    QCOMPARE(image.size(), QSize(16, 16));
    QVERIFY(image.hasAlphaChannel());
    for (int y = 0; y < 16; ++y) {
        for (int x = 0; x < 16; ++x)
            QCOMPARE(qAlpha(image.pixel(x, y)), 255);
    }
}

void ResourcesTest::pathsAreCaseSensitive()
{
    QVERIFY(QFile::exists(":/new/icons/text.png"));
    QVERIFY(!QFile::exists(":/new/icons/Text.png"));
    QVERIFY(!QFile::exists(":/new/icons/text"));
}

QTEST_MAIN(ResourcesTest)
#include "tst_resources.moc"
