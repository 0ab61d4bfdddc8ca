#include "configure/frmmain.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFont>
#include <QGroupBox>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <limits>
#include <string>

#include "configure/DialogLayout.h"

namespace {

// The layout is measured in twips, 15 to a pixel at 96 dpi; Qt scales the pixels on dense
// screens. A width of 1600 twips is not a whole pixel and rounds to the nearest one.
int Pixels(int twips) {
    return (twips + 7) / 15;
}

QString FromText(const std::string& text) {
    return QString::fromStdString(text);
}

// A single-line box takes a pasted password with its trailing newline, and the settings file
// cannot hold a line break: the breaks are dropped as they come in, the rest kept.
void KeepOnOneLine(QLineEdit& box, const QString& text) {
    const SingleLineText single = DropLineBreaks(
        std::u16string_view(reinterpret_cast<const char16_t*>(text.utf16()), text.size()),
        box.cursorPosition());
    if (single.text.size() != static_cast<std::size_t>(text.size())) {
        box.setText(QString::fromUtf16(single.text.data(), single.text.size()));
        box.setCursorPosition(static_cast<int>(single.cursor));
    }
}

}  // namespace

namespace configure {

frmmain::frmmain(QWidget* parent) : QWidget(parent) {
    setObjectName(QString::fromLatin1(kFormName));
    setWindowTitle(QString::fromLatin1(kFormCaption));
    setWindowIcon(QIcon(QStringLiteral(":/configure/zarvoupdater-configure.png")));
    setFixedSize(Pixels(kClientWidthTwips), Pixels(kClientHeightTwips));
    // A pixel size keeps font and layout in step when Qt scales for dense screens.
    QFont dialogFont = font();
    dialogFont.setPixelSize(kFontPixels);
    setFont(dialogFont);

    // Labels and frames take no focus; a label passes it on to its box as the buddy.
    QWidget* previous = nullptr;
    for (const DialogControl& control : DialogControls()) {
        QWidget* widget = CreateControl(control);
        widget->setObjectName(QString::fromStdString(ControlName(control)));
        widget->setGeometry(Pixels(control.left), Pixels(control.top), Pixels(control.width),
                            Pixels(control.height));
        if ((widget->focusPolicy() & Qt::TabFocus) != 0) {
            if (previous != nullptr) {
                setTabOrder(previous, widget);
            }
            previous = widget;
        }
    }
}

QWidget* frmmain::CreateControl(const DialogControl& control) {
    QWidget* frame = this;
    if (control.frame != nullptr) {
        frame = findChild<QGroupBox*>(QString::fromLatin1(control.frame));
    }
    const QString caption = QString::fromLatin1(control.caption);
    switch (control.kind) {
        case ControlKind::Frame:
            return new QGroupBox(caption, frame);
        case ControlKind::Label:
            lastLabel_ = Label[control.index] = new QLabel(caption, frame);
            if (control.index == kConfirmedLabel) {
                lastLabel_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
                lastLabel_->setWordWrap(true);
            }
            return lastLabel_;
        case ControlKind::TextBox: {
            // The box takes texts longer than the file reads back (Qt's default limit is
            // 32767), so a long value is saved whole.
            QLineEdit* box = Text[control.index] = new QLineEdit(frame);
            box->setMaxLength(std::numeric_limits<int>::max());
            box->setEchoMode(IsPassword(control) ? QLineEdit::Password : QLineEdit::Normal);
            connect(box, &QLineEdit::textEdited, box,
                    [box](const QString& text) { KeepOnOneLine(*box, text); });
            lastLabel_->setBuddy(box);
            return box;
        }
        case ControlKind::ComboBox:
            cboZARVO[control.index] = new QComboBox(frame);
            lastLabel_->setBuddy(cboZARVO[control.index]);
            return cboZARVO[control.index];
        case ControlKind::CheckBox:
            chkZARVOUpdater[control.index] = new QCheckBox(caption, frame);
            if (control.index == kShowPasswords) {
                connect(chkZARVOUpdater[control.index], &QCheckBox::toggled, this,
                        &frmmain::ShowPasswords);
            }
            return chkZARVOUpdater[control.index];
        case ControlKind::Button:
            break;
    }
    auto* button = new QPushButton(caption, frame);
    connect(button, &QPushButton::clicked, this,
            std::string_view(control.name) == "cmdSave" ? &frmmain::cmdSave_Click
                                                        : &frmmain::cmdClose_Click);
    return button;
}

bool frmmain::Form_Load() {
    DialogValues values;
    DialogMessage message;
    if (!LoadDialogValues(values, message)) {
        ShowMessage(message);
        return false;
    }
    for (std::size_t i = 0; i < Text.size(); ++i) {
        Text[i]->setText(FromText(values.Text[i]));
    }
    for (std::size_t i = 0; i < kShowPasswords; ++i) {
        chkZARVOUpdater[i]->setChecked(values.chkZARVOUpdater[i]);
    }
    for (std::size_t i = 0; i < cboZARVO.size(); ++i) {
        cboZARVO[i]->clear();
        for (const DialogChoice& choice : values.choices[i]) {
            cboZARVO[i]->addItem(FromText(choice.caption), FromText(choice.value));
        }
        cboZARVO[i]->setCurrentIndex(cboZARVO[i]->findData(FromText(values.cboZARVO[i])));
    }
    Label[kConfirmedLabel]->setText(FromText(values.confirmed));
    loaded_ = values;
    return true;
}

void frmmain::ShowMessage(QMessageBox::Icon icon, const QString& text) {
    // Before the window is shown the box stands on its own rather than over a hidden parent.
    QMessageBox box(icon, windowTitle(), text, QMessageBox::Ok, isVisible() ? this : nullptr);
    box.exec();
}

void frmmain::ShowMessage(const DialogMessage& message) {
    ShowMessage(message.kind == DialogMessage::Kind::Critical ? QMessageBox::Critical
                                                              : QMessageBox::Warning,
                FromText(message.text));
}

void frmmain::cmdSave_Click() {
    DialogValues values = loaded_;
    for (std::size_t i = 0; i < Text.size(); ++i) {
        values.Text[i] = Text[i]->text().toStdString();
    }
    for (std::size_t i = 0; i < chkZARVOUpdater.size(); ++i) {
        values.chkZARVOUpdater[i] = chkZARVOUpdater[i]->isChecked();
    }
    for (std::size_t i = 0; i < cboZARVO.size(); ++i) {
        values.cboZARVO[i] = cboZARVO[i]->currentData().toString().toStdString();
    }
    DialogMessage message;
    if (!SaveDialogValues(values, message)) {
        ShowMessage(message);
    }
}

void frmmain::ShowPasswords(bool shown) {
    for (const DialogControl& control : DialogControls()) {
        if (control.kind == ControlKind::TextBox && IsPassword(control)) {
            Text[control.index]->setEchoMode(shown ? QLineEdit::Normal : QLineEdit::Password);
        }
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

}  // namespace configure
