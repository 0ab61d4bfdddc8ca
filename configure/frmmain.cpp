#include "configure/frmmain.h"

#include <QApplication>
#include <QCheckBox>
#include <QFont>
#include <QGroupBox>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <array>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <limits>
#include <string>
#include <utility>

#include "configure/DialogSettings.h"
#include "platform/RuntimeError.h"
#include "settings/INIFile.h"
#include "settings/modFunktions.h"

namespace {

// The layout is measured in twips, 15 to a pixel at 96 dpi; Qt scales the pixels on dense
// screens. A width of 1600 twips is not a whole pixel and rounds to the nearest one.
int Pixels(int twips) {
    return (twips + 7) / 15;
}

QRect Twips(int left, int top, int width, int height) {
    return {Pixels(left), Pixels(top), Pixels(width), Pixels(height)};
}

QString FromText(const std::string& text) {
    return QString::fromStdString(text);
}

// A single-line box takes a pasted password with its trailing newline, and the settings file
// cannot hold a line break: the breaks are dropped as they come in, the rest kept.
void DropLineBreaks(QLineEdit& box, const QString& text) {
    QString single;
    const int typedUpTo = box.cursorPosition();
    int cursor = typedUpTo;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == u'\r' || c == u'\n' || c == QChar(0)) {
            cursor -= i < typedUpTo ? 1 : 0;
        } else {
            single += c;
        }
    }
    if (single.size() != text.size()) {
        box.setText(single);
        box.setCursorPosition(cursor);
    }
}

struct TextRow {
    bool inAccount;
    int top;
    int labelWidth;
    const char* caption;
};

// Label and text box of one index share a row.
constexpr std::array<TextRow, 11> kRows = {{
    {true, 360, 1600, "Username:"},
    {true, 720, 1600, "Password:"},
    {true, 1080, 1600, "ZARVO Hostname:"},
    {true, 1440, 1600, "Static IP:"},
    {false, 840, 1605, "Interval Minute:"},
    {false, 1200, 1605, "Error Email Count:"},
    {false, 2280, 1605, "Email Receiver:"},
    {false, 2640, 1605, "Email Sender:"},
    {false, 3000, 1605, "SMTP Server:"},
    {false, 3360, 1605, "SMTP Username:"},
    {false, 3720, 1605, "SMTP Password"},
}};

struct SavedKey {
    const char* section;
    const char* key;
};

}  // namespace

frmmain::frmmain(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("frmmain"));
    setWindowTitle(QStringLiteral("Configuration"));
    setWindowIcon(QIcon(QStringLiteral(":/configure/zarvoupdater-configure.png")));
    setFixedSize(Pixels(5985), Pixels(7620));
    // The layout was drawn for a small dialog font; the desktop's usual one cuts the longer
    // captions off. A pixel size keeps font and layout in step when Qt scales for dense screens.
    QFont dialogFont = font();
    dialogFont.setPixelSize(11);
    setFont(dialogFont);

    // Tab order: row by row, top to bottom, then Save and Close. Labels take no focus; each
    // passes it on to its box as the buddy.
    QWidget* previous = nullptr;
    auto chain = [this, &previous](QWidget* next) {
        if (previous != nullptr) {
            setTabOrder(previous, next);
        }
        previous = next;
    };

    frmAccount = new QGroupBox(QStringLiteral("Account"), this);
    frmAccount->setObjectName(QStringLiteral("frmAccount"));
    frmAccount->setGeometry(Twips(360, 240, 5295, 2055));

    frmApplication = new QGroupBox(QStringLiteral("Application"), this);
    frmApplication->setObjectName(QStringLiteral("frmApplication"));
    frmApplication->setGeometry(Twips(360, 2520, 5295, 4335));

    auto addCheckBox = [this, &chain](int index, const char* caption, int top) {
        chkZARVOUpdater[index] = new QCheckBox(QString::fromLatin1(caption), frmApplication);
        chkZARVOUpdater[index]->setObjectName(QStringLiteral("chkZARVOUpdater%1").arg(index));
        chkZARVOUpdater[index]->setGeometry(Twips(480, top, 4575, 375));
        chain(chkZARVOUpdater[index]);
    };

    for (std::size_t i = 0; i < kRows.size(); ++i) {
        const TextRow& row = kRows[i];
        // Each check box takes the row above the boxes it switches.
        if (i == 4) {
            addCheckBox(0, "ZARVO Update Enable", 360);
        } else if (i == 6) {
            addCheckBox(1, "Email Notify Enable", 1800);
        }
        QGroupBox* frame = row.inAccount ? frmAccount : frmApplication;
        Label[i] = new QLabel(QString::fromLatin1(row.caption), frame);
        Label[i]->setObjectName(QStringLiteral("Label%1").arg(i));
        Label[i]->setGeometry(Twips(360, row.top, row.labelWidth, 255));
        // Passwords stay readable on purpose. The box takes texts longer than the file reads
        // back (Qt's default limit is 32767), so a long value is saved whole.
        Text[i] = new QLineEdit(frame);
        Text[i]->setObjectName(QStringLiteral("Text%1").arg(i));
        Text[i]->setMaxLength(std::numeric_limits<int>::max());
        connect(Text[i], &QLineEdit::textEdited, Text[i],
                [box = Text[i]](const QString& text) { DropLineBreaks(*box, text); });
        Text[i]->setGeometry(Twips(2520, row.top, 2535, 285));
        Label[i]->setBuddy(Text[i]);
        chain(Text[i]);
    }

    cmdSave = new QPushButton(QStringLiteral("Save"), this);
    cmdSave->setObjectName(QStringLiteral("cmdSave"));
    cmdSave->setGeometry(Twips(2280, 7080, 1455, 315));
    cmdClose = new QPushButton(QStringLiteral("Close"), this);
    cmdClose->setObjectName(QStringLiteral("cmdClose"));
    cmdClose->setGeometry(Twips(4200, 7080, 1455, 315));

    chain(cmdSave);
    chain(cmdClose);

    connect(cmdSave, &QPushButton::clicked, this, &frmmain::cmdSave_Click);
    connect(cmdClose, &QPushButton::clicked, this, &frmmain::cmdClose_Click);
}

bool frmmain::Form_Load() {
    // The loader takes an unreadable file for a missing one and would show the defaults, and a
    // Save would then overwrite the real settings with them.
    const std::string path = DialogIniPath();
    if (std::filesystem::exists(path) && !std::ifstream(path).is_open()) {
        ShowMessage(QMessageBox::Critical,
                    FromText("The settings file " + path +
                             " cannot be read. Start the dialog as a user who may read it, "
                             "for example with sudo."));
        return false;
    }
    AppSettingsRecord settings;
    try {
        LoadDialogSettings(settings);
    } catch (const platform::RuntimeError& error) {
        ShowMessage(QMessageBox::Critical, FromText(LoadFailureText(error)));
        return false;
    }
    Text[0]->setText(FromText(settings.Username));
    Text[1]->setText(FromText(settings.Password));
    Text[2]->setText(FromText(settings.Host));
    Text[3]->setText(FromText(settings.StaticIPAddress));
    chkZARVOUpdater[0]->setChecked(settings.ZARVOUpdater);
    Text[4]->setText(QString::number(settings.Interval));
    Text[5]->setText(QString::number(settings.ErrorCounter));
    chkZARVOUpdater[1]->setChecked(settings.Email);
    Text[6]->setText(FromText(settings.Email_Receiver));
    Text[7]->setText(FromText(settings.Email_Sender));
    Text[8]->setText(FromText(settings.Email_Server));
    Text[9]->setText(FromText(settings.Email_Username));
    Text[10]->setText(FromText(settings.Email_Password));
    return true;
}

void frmmain::ShowMessage(QMessageBox::Icon icon, const QString& text) {
    // Before the window is shown the box stands on its own rather than over a hidden parent.
    QMessageBox box(icon, windowTitle(), text, QMessageBox::Ok, isVisible() ? this : nullptr);
    box.exec();
}

bool frmmain::NumberFieldAccepted(int index, const char* key, std::int32_t lowest,
                                  std::int32_t highest) {
    const std::string value = Text[index]->text().toStdString();
    std::string problem;
    try {
        const std::int32_t number = ToInt32(value);
        if (number >= lowest && number <= highest) {
            return true;
        }
        problem = platform::errors::OverflowError().Text();
    } catch (const platform::RuntimeError& error) {
        problem = error.Text();
    }
    QString field = Label[index]->text();
    field.chop(field.endsWith(QLatin1Char(':')) ? 1 : 0);
    ShowMessage(QMessageBox::Warning,
                QStringLiteral("%1 (%2): \"%3\" is not a whole number from %4 to %5 (%6).\n\n"
                               "The settings were not saved.")
                    .arg(field, QString::fromLatin1(key), FromText(value))
                    .arg(lowest)
                    .arg(highest)
                    .arg(FromText(problem)));
    return false;
}

void frmmain::cmdSave_Click() {
    // The service converts these two at every cycle, and counts Interval × 60 seconds in 32
    // bits; a value it cannot take would make every cycle fail, so nothing is written until both
    // are in the service's range.
    constexpr std::int32_t kIntervalLimit = std::numeric_limits<std::int32_t>::max() / 60;
    if (!NumberFieldAccepted(4, "Interval", -kIntervalLimit, kIntervalLimit) ||
        !NumberFieldAccepted(5, "ErrorCounter", std::numeric_limits<std::int16_t>::min(),
                             std::numeric_limits<std::int16_t>::max())) {
        return;
    }
    auto switchText = [](const QCheckBox* box) { return box->isChecked() ? "on" : "off"; };
    const std::array<std::pair<SavedKey, std::string>, 13> writes = {{
        {{"ACCOUNT", "Username"}, Text[0]->text().toStdString()},
        {{"ACCOUNT", "Password"}, Text[1]->text().toStdString()},
        {{"ACCOUNT", "Host"}, Text[2]->text().toStdString()},
        {{"ACCOUNT", "StaticIPAddress"}, Text[3]->text().toStdString()},
        {{"Application", "ZARVOUpdater"}, switchText(chkZARVOUpdater[0])},
        {{"Application", "Interval"}, Text[4]->text().toStdString()},
        {{"Application", "ErrorCounter"}, Text[5]->text().toStdString()},
        {{"Application", "Email"}, switchText(chkZARVOUpdater[1])},
        {{"Application", "Email_Receiver"}, Text[6]->text().toStdString()},
        {{"Application", "Email_Sender"}, Text[7]->text().toStdString()},
        {{"Application", "Email_Server"}, Text[8]->text().toStdString()},
        {{"Application", "Email_Username"}, Text[9]->text().toStdString()},
        {{"Application", "Email_Password"}, Text[10]->text().toStdString()},
    }};
    for (std::size_t i = 0; i < writes.size(); ++i) {
        const auto& [where, value] = writes[i];
        const std::string path = DialogIniPath();
        if (WriteIniValue(where.section, where.key, value, path)) {
            continue;
        }
        // Later keys would most likely fail the same way; stopping keeps the report exact.
        const QString partly =
            i == 0 ? QString()
                   : QStringLiteral(" completely; the keys before \"%1\" were written")
                         .arg(QString::fromLatin1(where.key));
        ShowMessage(QMessageBox::Warning,
                    QStringLiteral("The settings were not saved%1.\n\n\"%2\" cannot be written.")
                        .arg(partly, FromText(path)));
        return;
    }
}

void frmmain::cmdClose_Click() {
    close();
}

int RunConfiguration(frmmain& form) {
    if (!form.Form_Load()) {
        return 1;
    }
    form.show();
    return QApplication::exec();
}
