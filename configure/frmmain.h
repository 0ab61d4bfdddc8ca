#pragma once

#include <QMessageBox>
#include <QWidget>
#include <array>
#include <cstdint>

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

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
    void cmdSave_Click();
    void cmdClose_Click();
    bool NumberFieldAccepted(int index, const char* key, std::int32_t lowest, std::int32_t highest);

    QGroupBox* frmAccount = nullptr;
    QGroupBox* frmApplication = nullptr;
    std::array<QLabel*, 11> Label{};
    std::array<QLineEdit*, 11> Text{};
    std::array<QCheckBox*, 2> chkZARVOUpdater{};
    QPushButton* cmdSave = nullptr;
    QPushButton* cmdClose = nullptr;
};

/// Loads `form` and runs it until it is closed; the program's exit status. A form that
/// cannot load is never shown and gives 1.
int RunConfiguration(frmmain& form);
