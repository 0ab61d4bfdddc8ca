#include <QFile>
#include <QGuiApplication>
#include <QLineEdit>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>

#include "configure/frmmain.h"
#include "platform/ProgramInfo.h"

class ScreenshotTest : public QObject {
    Q_OBJECT

  private slots:
    void Window_OnRealDisplayHasItsClientSize() {
        if (QGuiApplication::platformName() != QLatin1String("xcb")) {
            QSKIP("needs an X server; run through ctest, which starts one with xvfb-run");
        }
        QTemporaryDir dir;
        QFile ini(dir.filePath("zarvoupdater.ini"));
        QVERIFY(ini.open(QIODevice::WriteOnly));
        ini.write(
            "[ACCOUNT]\nUsername=alice\nPassword=s3cret\nHost=home.zarvo.example\n"
            "[Application]\nZARVOUpdater=on\nInterval=15\nEmail=off\n"
            "Email_Server=smtp.zarvo.example:587\nIPv6=on\n[ZARVO]\nProvider=desec\n"
            "[WAN]\nLastIPAdress=84.1.2.3\nLastIPv6Adress=2001:db8::7\n"
            "LastUpdate=2026-12-08T02:05:00Z\n");
        ini.close();
        platform::OverrideProgramLocation(
            platform::ProgramLocation{dir.path().toStdString(), "configure"});

        configure::frmmain form;
        QVERIFY(form.Form_Load());
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QTest::qWait(200);  // let the first paint reach the server
        const QPixmap shot = form.screen()->grabWindow(form.winId());
        QVERIFY(shot.save(QStringLiteral(SCREENSHOT_FILE)));
        QCOMPARE(shot.size(), QSize(777, 508) * form.devicePixelRatio());
    }
};

QTEST_MAIN(ScreenshotTest)
#include "frmmain_screenshot_test.moc"
