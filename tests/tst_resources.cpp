// The file-type icons resolve from the start of the process, before any
// widget exists, also though the collection comes through a static library.
// The sources are UTF-8, as every compiler is told to read them.

#include <QApplication>
#include <QDirIterator>
#include <QTextCodec>
#include <QImage>
#include <QtTest>

class ResourcesTest : public QObject
{
    Q_OBJECT

private slots:
    void iconsResolveBeforeAnyWidget_data();
    void iconsResolveBeforeAnyWidget();
    void pathsAreCaseSensitive();
    void sourcesAreUtf8();
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

void ResourcesTest::sourcesAreUtf8()
{
    // The source folders only: build folders hold Wine prefixes, whose drive Z: is the whole machine.
    int read = 0;
    for (const char *folder : { "app", "device", "storage", "installer", "resources", "tools", "demo", "tests" }) {
        QDirIterator walk(QString(VELTRA_SOURCE_DIR "/") + folder, { "*.cpp", "*.h", "*.ui", "*.rc", "*.txt", "*.lng" },
                          QDir::Files, QDirIterator::Subdirectories);
        while (walk.hasNext()) {
            const QString path = walk.next();
            QFile source(path);
            QVERIFY(source.open(QIODevice::ReadOnly));
            const QByteArray bytes = source.readAll();
            QTextCodec::ConverterState state;
            QTextCodec::codecForName("UTF-8")->toUnicode(bytes.constData(), bytes.size(), &state);
            QVERIFY2(state.invalidChars == 0, qPrintable(path + " is not valid UTF-8"));
            ++read;
        }
    }
    QVERIFY(read > 50);
}

QTEST_MAIN(ResourcesTest)
#include "tst_resources.moc"
