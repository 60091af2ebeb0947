// The Windows executable carries its version record, with the project's
// version, and the window icon.

#include <QtTest>

#include <windows.h>

class ExecutableTest : public QObject
{
    Q_OBJECT

private slots:
    void versionRecord_data();
    void versionRecord();
    void windowIcon();
};

void ExecutableTest::versionRecord_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("value");
    QTest::newRow("product") << "ProductName" << "VELTRA installer";
    QTest::newRow("file name") << "OriginalFilename" << "VELTRA installer.exe";
    QTest::newRow("file version") << "FileVersion" << VELTRA_VERSION ".0";
    QTest::newRow("product version") << "ProductVersion" << VELTRA_VERSION ".0";
}

void ExecutableTest::versionRecord()
{
    QFETCH(QString, field);
    const std::wstring path = QString(VELTRA_EXECUTABLE).toStdWString();
    const DWORD size = GetFileVersionInfoSizeW(path.c_str(), nullptr);
    QVERIFY(size > 0);
    QByteArray record(int(size), '\0');
    QVERIFY(GetFileVersionInfoW(path.c_str(), 0, size, record.data()));
    const std::wstring key = QString("\\StringFileInfo\\040904b0\\" + field).toStdWString();
    wchar_t *text = nullptr;
    UINT length = 0;
    QVERIFY(VerQueryValueW(record.data(), key.c_str(), reinterpret_cast<void **>(&text), &length));
    QTEST(QString::fromWCharArray(text, int(length) - 1), "value");
}

void ExecutableTest::windowIcon()
{
    const std::wstring path = QString(VELTRA_EXECUTABLE).toStdWString();
    HMODULE module = LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    QVERIFY(module);
    QVERIFY(FindResourceW(module, L"IDI_ICON1", MAKEINTRESOURCEW(14)));   // RT_GROUP_ICON
    FreeLibrary(module);
}

QTEST_MAIN(ExecutableTest)
#include "tst_executable.moc"
