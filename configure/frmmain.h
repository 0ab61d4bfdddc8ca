#pragma once

#include <QMessageBox>
#include <QWidget>
#include <array>

#include "configure/DialogCore.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
struct DialogControl;

namespace configure {

/// The settings dialog: shows the user-editable keys of zarvoupdater.ini and saves them.
class frmmain : public QWidget {
    Q_OBJECT

  public:
    explicit frmmain(QWidget* parent = nullptr);

    /// Fills the controls from the settings file. False, after telling the user why, when a
    /// stored value does not convert; the window must then not be shown.
    bool Form_Load();

  protected:
    /// Every message of the dialog passes through here, so that tests can take them unseen.
    virtual void ShowMessage(QMessageBox::Icon icon, const QString& text);

  private:
    QWidget* CreateControl(const DialogControl& control);
    void ShowMessage(const DialogMessage& message);
    void cmdSave_Click();
    void cmdClose_Click();
    void ShowPasswords(bool shown);

    std::array<QLabel*, 19> Label{};
    std::array<QLineEdit*, 14> Text{};
    std::array<QCheckBox*, 5> chkZARVOUpdater{};
    std::array<QComboBox*, 3> cboZARVO{};
    QLabel* lastLabel_ = nullptr;  // the caption of the box made next
    DialogValues loaded_;
};

/// Loads `form` and runs it until it is closed; the program's exit status. A form that
/// cannot load is never shown and gives 1.
int RunConfiguration(frmmain& form);

}  // namespace configure
