#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <cmath>
#include <limits>
#include <map>

#include "configure/DialogLayout.h"
#include "configure/frmmain.h"
#include "platform/ProgramInfo.h"

namespace {

using configure::frmmain;

/// The dialog with its messages collected instead of shown.
class QuietForm : public frmmain {
  public:
    QStringList messages;

  protected:
    void ShowMessage(QMessageBox::Icon, const QString& text) override { messages << text; }
};

/// The file's keys in file order as "[section] key=value", blind to how the writer spaces them.
QStringList Keys(const QString& ini) {
    QStringList keys;
    QString section;
    for (const QString& raw : ini.split(QLatin1Char('\n'))) {
        const QString line = raw.trimmed();
        if (line.startsWith(QLatin1Char('['))) {
            section = line;
        } else if (line.contains(QLatin1Char('=')) && !line.startsWith(QLatin1Char(';'))) {
            keys << section + QLatin1Char(' ') + line.section(QLatin1Char('='), 0, 0).trimmed() +
                        QLatin1Char('=') + line.section(QLatin1Char('='), 1).trimmed();
        }
    }
    return keys;
}

}  // namespace

class FrmmainTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    QString ini_;

    void Store(const QByteArray& text) {
        QFile file(ini_);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(text) == text.size());
    }
    QString Stored() {
        QFile file(ini_);
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }
    template <class T>
    static T* Find(QWidget& form, const QString& name) {
        return form.findChild<T*>(name);
    }

  private slots:
    void init() {
        QVERIFY(dir_.isValid());
        QFile::remove(dir_.filePath(QStringLiteral("zarvoupdater.ini")));
        ini_ = dir_.filePath(QStringLiteral("zarvoupdater.ini"));
        platform::OverrideProgramLocation(
            platform::ProgramLocation{dir_.path().toStdString(), "configure"});
    }

    void Window_IsFixedSizeConfigurationWithSmallIcon() {
        frmmain form;
        QCOMPARE(form.windowTitle(), QStringLiteral("Configuration"));
        QCOMPARE(form.size(), QSize(777, 508));
        QCOMPARE(form.minimumSize(), form.maximumSize());
        QVERIFY(form.windowIcon().availableSizes().contains(QSize(16, 16)));
    }

    void Control_StandsWhereTheLayoutSays_data() {
        QTest::addColumn<int>("row");
        const auto controls = DialogControls();
        for (std::size_t i = 0; i < controls.size(); ++i) {
            QTest::newRow(ControlName(controls[i]).c_str()) << static_cast<int>(i);
        }
    }
    void Control_StandsWhereTheLayoutSays() {
        QFETCH(int, row);
        const DialogControl& c = DialogControls()[row];
        static const std::map<ControlKind, QString> kinds = {
            {ControlKind::Frame, "QGroupBox"},    {ControlKind::Label, "QLabel"},
            {ControlKind::TextBox, "QLineEdit"},  {ControlKind::CheckBox, "QCheckBox"},
            {ControlKind::ComboBox, "QComboBox"}, {ControlKind::Button, "QPushButton"}};
        const QString kind = kinds.at(c.kind);
        frmmain form;
        QWidget* control = Find<QWidget>(form, QString::fromLatin1(QTest::currentDataTag()));
        QVERIFY(control);
        QCOMPARE(control->metaObject()->className(), kind);
        QCOMPARE(control->parentWidget()->objectName(),
                 QString::fromLatin1(c.frame != nullptr ? c.frame : "frmmain"));
        auto px = [](int twips) { return static_cast<int>(std::lround(twips / 15.0)); };
        QCOMPARE(control->geometry(), QRect(px(c.left), px(c.top), px(c.width), px(c.height)));
        QCOMPARE(control->property(kind == "QGroupBox" ? "title" : "text").toString(),
                 QString::fromLatin1(c.caption));
        if (kind == "QLabel" || kind == "QCheckBox" || kind == "QPushButton") {
            QVERIFY2(control->sizeHint().width() <= control->width(), "caption is cut off");
        }
        if (auto* box = qobject_cast<QLineEdit*>(control)) {
            QCOMPARE(box->echoMode(), IsPassword(c) ? QLineEdit::Password : QLineEdit::Normal);
            QCOMPARE(box->maxLength(), std::numeric_limits<int>::max());  // no limit of its own
        }
    }

    void Tab_VisitsTheControlsInTableOrder() {
        // Labels and frames hold tab indexes too but take no focus; the last Tab wraps around.
        const QStringList order =
            QStringLiteral(
                "Text0 Text1 Text2 Text3 chkZARVOUpdater0 Text4 Text5 chkZARVOUpdater1 "
                "Text6 Text7 Text8 Text9 Text10 cboZARVO0 Text11 cboZARVO1 chkZARVOUpdater2 "
                "chkZARVOUpdater3 Text12 Text13 cboZARVO2 chkZARVOUpdater4 cmdSave cmdClose Text0")
                .split(QLatin1Char(' '));
        frmmain form;
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        Find<QWidget>(form, order.first())->setFocus();
        for (qsizetype i = 1; i < order.size(); ++i) {
            QTest::keyClick(form.focusWidget(), Qt::Key_Tab);
            QCOMPARE(form.focusWidget()->objectName(), order[i]);
        }
    }

    void ThirdFrame_ShowsItsKeysAndSavesAChosenProviderAndPasswordsAreMasked() {
        Store(
            "[ACCOUNT]\nHost=a.example\nPassword=s3cret\n[ZARVO]\nProvider=desec\n"
            "[WAN]\nLastIPAdress=84.1.2.3\n");
        QuietForm form;
        QVERIFY(form.Form_Load());
        QComboBox* provider = Find<QComboBox>(form, "cboZARVO0");
        QCOMPARE(provider->currentText(), QStringLiteral("desec"));
        QCOMPARE(Find<QLabel>(form, "Label18")->text(), QStringLiteral("a.example: 84.1.2.3"));
        QCheckBox* show = Find<QCheckBox>(form, "chkZARVOUpdater4");
        for (const bool shown : {true, false}) {
            show->setChecked(shown);
            for (const char* name : {"Text1", "Text10"}) {
                QCOMPARE(Find<QLineEdit>(form, name)->echoMode(),
                         shown ? QLineEdit::Normal : QLineEdit::Password);
            }
        }
        provider->setCurrentIndex(provider->findText("noip"));
        Find<QPushButton>(form, "cmdSave")->click();
        QVERIFY(Keys(Stored()).contains("[ZARVO] Provider=noip"));
        QVERIFY(!Stored().contains("IPv4"));
    }

    void Load_WithoutFileShowsDefaultsAndCreatesNothing() {
        QuietForm form;
        QVERIFY(form.Form_Load());
        const QStringList expected = {
            "Username", "password", "myhost.zarvo.example", "", "10", "5", "", "", "", "", ""};
        for (int i = 0; i < 11; ++i) {
            QCOMPARE(Find<QLineEdit>(form, QStringLiteral("Text%1").arg(i))->text(), expected[i]);
        }
        QVERIFY(!Find<QCheckBox>(form, "chkZARVOUpdater0")->isChecked());
        QVERIFY(!Find<QCheckBox>(form, "chkZARVOUpdater1")->isChecked());
        QVERIFY(!QFile::exists(ini_));
    }

    void Load_ChecksOnlyForExactOn_data() {
        QTest::addColumn<QByteArray>("stored");
        QTest::addColumn<bool>("checked");
        for (const char* text : {"on", "On", "ON", "True", "off", ""}) {
            QTest::addRow("'%s'", text) << QByteArray(text) << (QByteArray(text) == "on");
        }
    }
    void Load_ChecksOnlyForExactOn() {
        QFETCH(QByteArray, stored);
        QFETCH(bool, checked);
        Store("[Application]\nZARVOUpdater=" + stored + "\nEmail=" + stored + "\n");
        QuietForm form;
        QVERIFY(form.Form_Load());
        QCOMPARE(Find<QCheckBox>(form, "chkZARVOUpdater0")->isChecked(), checked);
        QCOMPARE(Find<QCheckBox>(form, "chkZARVOUpdater1")->isChecked(), checked);
    }

    void Load_ShowsPaddedNumberPlainAndSaveWritesItSo() {
        Store("[Application]\nInterval= 15 \n");
        QuietForm form;
        QVERIFY(form.Form_Load());
        QCOMPARE(Find<QLineEdit>(form, "Text4")->text(), QStringLiteral("15"));
        Find<QPushButton>(form, "cmdSave")->click();
        QVERIFY(Keys(Stored()).contains("[Application] Interval=15"));
    }

    void Paste_DropsLineBreaksSoTheValueSavesAsOneLine() {
        QuietForm form;
        QVERIFY(form.Form_Load());
        QLineEdit* password = Find<QLineEdit>(form, "Text1");
        password->setText("ab");
        password->setCursorPosition(1);
        QApplication::clipboard()->setText("s3\r\ncret\n");
        password->paste();
        QCOMPARE(password->text(), QStringLiteral("as3cretb"));
        QCOMPARE(password->cursorPosition(), 7);
        Find<QLineEdit>(form, "Text4")->setText("35791394");
        Find<QPushButton>(form, "cmdSave")->click();
        QVERIFY(form.messages.isEmpty());
        QVERIFY(Keys(Stored()).contains("[ACCOUNT] Password=as3cretb"));
        QVERIFY(Keys(Stored()).contains("[Application] Interval=35791394"));
    }

    void LongValue_ShowsFirst255AndSavesWhole() {
        QByteArray digits;
        while (digits.size() < 40000) {
            digits += "0123456789";
        }
        Store("[Application]\nEmail_Receiver=" + digits + "\n");
        QuietForm form;
        QVERIFY(form.Form_Load());
        QLineEdit* receiver = Find<QLineEdit>(form, "Text6");
        QCOMPARE(receiver->text(), QString::fromLatin1(digits.left(255)));
        receiver->setText(QString::fromLatin1(digits));
        Find<QPushButton>(form, "cmdSave")->click();
        QVERIFY(Keys(Stored()).contains("[Application] Email_Receiver=" + digits));
    }

    void Save_WithoutFileWritesThirteenKeysInOrder() {
        QuietForm form;
        form.show();
        QVERIFY(form.Form_Load());
        for (int i = 0; i < 11; ++i) {
            Find<QLineEdit>(form, QStringLiteral("Text%1").arg(i))->setText(QString::number(i + 1));
        }
        Find<QCheckBox>(form, "chkZARVOUpdater0")->setChecked(true);
        Find<QPushButton>(form, "cmdSave")->click();
        const QString expected =
            "[ACCOUNT] Username=1\n[ACCOUNT] Password=2\n[ACCOUNT] Host=3\n"
            "[ACCOUNT] StaticIPAddress=4\n[Application] ZARVOUpdater=on\n[Application] Interval=5\n"
            "[Application] ErrorCounter=6\n[Application] Email=off\n[Application] "
            "Email_Receiver=7\n"
            "[Application] Email_Sender=8\n[Application] Email_Server=9\n"
            "[Application] Email_Username=10\n[Application] Email_Password=11";
        QCOMPARE(Keys(Stored()).join(QLatin1Char('\n')), expected);
        QVERIFY(form.messages.isEmpty());
        QVERIFY(form.isVisible());
    }

    void Save_KeepsKeysAndLinesTheDialogDoesNotShow() {
        const QByteArray original =
            "; written by hand\n[Application]\nBackups=3\nIsDebug=True\nLogfileLen=500\n"
            "Loglevel=4\nColour=blue\n[ZARVO]\nZARVOServer=http://dyndns.other.example\n"
            "WANIPAdress=http://ip.other.example/meineip.php\n[WAN]\nLastIPAdress=192.0.2.7\n"
            "this line is no key\n[ACCOUNT]\nUsername=alice\n";
        Store(original);
        QuietForm form;
        QVERIFY(form.Form_Load());
        Find<QPushButton>(form, "cmdSave")->click();
        Find<QLineEdit>(form, "Text0")->setText("bob");
        Find<QPushButton>(form, "cmdSave")->click();
        const QStringList lines = Stored().split(QLatin1Char('\n'));
        for (const QString& line : QString::fromLatin1(original).split(QLatin1Char('\n'))) {
            QVERIFY2(lines.contains(line) || line == "Username=alice", qPrintable(line));
        }
        QVERIFY(Keys(Stored()).contains("[ACCOUNT] Username=bob"));
    }

    void Load_UnconvertibleValueEndsWithOneMessageAndNoWindow_data() {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QString>("expected");
        QTest::newRow("text")
            << QByteArray("Interval=abc")
            << "\"Interval\" in section [Application] has the value \"abc\": [13] Type mismatch";
        QTest::newRow("empty")
            << QByteArray("ErrorCounter=")
            << "\"ErrorCounter\" in section [Application] has the value \"\": [13] Type mismatch";
        QTest::newRow("hidden")
            << QByteArray("IsDebug=maybe")
            << "\"IsDebug\" in section [Application] has the value \"maybe\": [13] Type mismatch";
        QTest::newRow("range")
            << QByteArray("Loglevel=40000")
            << "\"Loglevel\" in section [Application] has the value \"40000\": [6] Overflow";
    }
    void Load_UnconvertibleValueEndsWithOneMessageAndNoWindow() {
        QFETCH(QByteArray, line);
        QFETCH(QString, expected);
        Store("[Application]\n" + line + "\n");
        QuietForm form;
        QVERIFY(RunConfiguration(form) != 0);
        QVERIFY(!form.isVisible());
        QCOMPARE(form.messages.size(), 1);
        QVERIFY2(form.messages.first().endsWith(expected), qPrintable(form.messages.first()));
    }

    void Load_SettingsPathThatCannotBeExaminedEndsWithMessageNotCrash_data() {
        QTest::addColumn<bool>("knownDirectory");
        QTest::newRow("link to itself") << true;
        QTest::newRow("no program directory") << false;
    }
    void Load_SettingsPathThatCannotBeExaminedEndsWithMessageNotCrash() {
        QFETCH(bool, knownDirectory);
        QVERIFY(QFile::link(ini_, ini_));
        if (!knownDirectory) {
            platform::OverrideProgramLocation(platform::ProgramLocation{"", "configure"});
        }
        QuietForm form;
        QCOMPARE(RunConfiguration(form), 1);
        QVERIFY(!form.isVisible());
        QCOMPARE(form.messages.size(), 1);
    }

    void Save_RefusesNumbersTheServiceCannotRead_data() {
        QTest::addColumn<QString>("box");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("field");
        // 35791395 minutes are more seconds than the service's 32-bit tick count holds.
        for (const char* value : {"abc", "", "1.5", "2147483648", "35791395", "-35791395"}) {
            QTest::addRow("Interval '%s'", value)
                << "Text4" << value << "Interval Minute (Interval): \"";
        }
        for (const char* value : {"abc", "", "32768", "-32769"}) {
            QTest::addRow("ErrorCounter '%s'", value)
                << "Text5" << value << "Error Email Count (ErrorCounter): \"";
        }
    }
    void Save_RefusesNumbersTheServiceCannotRead() {
        QFETCH(QString, box);
        QFETCH(QString, value);
        QFETCH(QString, field);
        Store("[ACCOUNT]\nUsername=alice\n");
        QuietForm form;
        QVERIFY(form.Form_Load());
        Find<QLineEdit>(form, "Text0")->setText("bob");
        Find<QLineEdit>(form, box)->setText(value);
        Find<QPushButton>(form, "cmdSave")->click();
        QCOMPARE(Stored(), QStringLiteral("[ACCOUNT]\nUsername=alice\n"));
        QCOMPARE(form.messages.size(), 1);
        QVERIFY(form.messages.first().startsWith(field + value + "\" is not a whole number"));
        QVERIFY(form.messages.first().endsWith("The settings were not saved."));
    }

    void Save_ThatCannotWriteSaysSo() {
        platform::OverrideProgramLocation(
            platform::ProgramLocation{dir_.filePath("missing").toStdString(), "configure"});
        QuietForm form;
        QVERIFY(form.Form_Load());
        Find<QPushButton>(form, "cmdSave")->click();
        QCOMPARE(form.messages.size(), 1);
        QVERIFY(form.messages.first().startsWith("The settings were not saved"));
    }

    void Close_SavesNothing_data() {
        QTest::addColumn<bool>("titleBar");
        QTest::newRow("Close button") << false;
        QTest::newRow("title bar") << true;
    }
    void Close_SavesNothing() {
        QFETCH(bool, titleBar);
        QuietForm form;
        form.show();
        QVERIFY(form.Form_Load());
        Find<QLineEdit>(form, "Text0")->setText("bob");
        if (titleBar) {
            form.close();
        } else {
            Find<QPushButton>(form, "cmdClose")->click();
        }
        QVERIFY(!form.isVisible());
        QVERIFY(!QFile::exists(ini_));
        QVERIFY(form.messages.isEmpty());
    }
};

QTEST_MAIN(FrmmainTest)
#include "frmmain_test.moc"
