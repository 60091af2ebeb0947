// Start-up picks Russian exactly when the system locale is ru_RU. Run once
// per locale, each with LC_ALL and the language expected in EXPECTED_LANGUAGE.

#include "testkit.h"

#include <QComboBox>
#include <QTextBrowser>
#include <QtTest>

class LocaleTest : public QObject
{
    Q_OBJECT

private slots:
    void startUpLanguage();
};

void LocaleTest::startUpLanguage()
{
    const QString expected = QString::fromUtf8(qgetenv("EXPECTED_LANGUAGE"));
    QVERIFY(!expected.isEmpty());
    Rig rig;
    QCOMPARE(rig.languageBox()->currentText(), expected);
    const QString changelog = rig.logPane()->toPlainText();
    if (expected == "English")
        QVERIFY(changelog.startsWith("VELTRA firmware 2.4.1"));
    else
        QVERIFY(changelog.startsWith(QString::fromUtf8("Прошивка VELTRA 2.4.1")));
}

QTEST_MAIN(LocaleTest)
#include "tst_locale.moc"
