// The monitor's row form: one row per shown process value, each a combo box choosing the value
// and a large read-out of it. Embedded in a host widget of the main window, or a dialog of its
// own with an OK button.
#pragma once

#include <QString>
#include <QWidget>
#include <string>
#include <vector>

class QComboBox;
class QLabel;
class QFrame;
class QListWidget;
class QPushButton;
class TKVXMonitorInfoPanel;
class TModProcCommand;
class TModProcessData;

// How many rows the monitor builds: at most 4, VisibleParamCnt, or one per process value.
enum TVisibleParamKind : int { vpDefault = 0, vpCustom = 1, vpMax = 2 };

class TMonitorForm : public QWidget {
  Q_OBJECT

 public:
  // Geometry of the rows.
  static constexpr int RowTop = 25;      // top margin of the first row
  static constexpr int RowGap = 20;      // between two rows
  static constexpr int ComboWidth = 100;
  static constexpr int ComboGap = 25;    // between a row's combo box and its read-out
  static constexpr int PanelWidth = 340;
  static constexpr int RowParaWidth = 90;
  static constexpr int RowPUnitWidth = 60;
  // Client area of the form as a dialog.
  static constexpr int DesignWidth = 535;
  static constexpr int DesignHeight = 466;
  static constexpr int ButtonBarHeight = 54;

  explicit TMonitorForm(QWidget* parent = nullptr);
  ~TMonitorForm() override;

  // The controls of the form.
  QFrame* Panel1 = nullptr;           // fills the form above the button bar
  QWidget* NB = nullptr;              // notebook: pages "Default" (the rows) and "Adv"
  QFrame* Panel3 = nullptr;           // carries the rows
  QListWidget* CheckListBox1 = nullptr;
  QFrame* Panel2 = nullptr;           // button bar, shown only while the form is a dialog
  QPushButton* BBtnOK = nullptr;

  // As last built. ProcData is the monitor's list, not owned.
  TModProcessData* ProcData = nullptr;
  TVisibleParamKind VisibleParamKind = vpDefault;
  int VisibleParamCnt = 0;
  // The rows in order; children of Panel3, freed by Build and with the form.
  std::vector<QComboBox*> Combos;
  std::vector<TKVXMonitorInfoPanel*> Panels;

  // Drops all rows and makes new ones for the list: the row count from Kind and Cnt, the rows
  // that fit Panel3's height visible, row i showing entry i.
  void Build(TModProcessData* procData, TVisibleParamKind kind, int cnt);
  // How many rows fit Panel3's height.
  int VisibleRowCount() const;
  // Rewrites the read-outs of the rows that show a process value.
  void RefreshPanels();
  // Places the form's panels for the form's current size; Panel3Resize follows when Panel3's size
  // changed. The form does this on every resize; the monitor calls it for a hidden form, whose
  // resize events Qt holds back until it is shown.
  void Arrange();

  // Handlers of the form's events, public so the monitor and tests can drive them.
  // Re-centres the rows and shows those that fit after Panel3 changed size.
  void Panel3Resize();
  // The list is opened: offers every process value no other visible row shows.
  void ComboDropDown(QComboBox* sender);
  // An item was chosen from the list: the row shows that value, or "---".
  void ComboItemChosen(QComboBox* sender);
  // The text was edited: a text that is no item resets the row to "---".
  void ComboChange(QComboBox* sender);
  void BBtnOKClick();

  // The process value the row's combo box has chosen; nullptr for none, for "---" and for an
  // object that is no longer in ProcData.
  TModProcCommand* ChosenEntry(const QComboBox* combo) const;

 protected:
  void showEvent(QShowEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void ClearRows();
  void CheckPanel3Size();
  void ShowEntry(std::size_t row, const TModProcCommand* entry);
  void ShowNoEntry(std::size_t row);
  // Slot 0..3 of the row: name, help text, unit, value.
  void ShowText(std::size_t row, std::size_t slot, QLabel* label, const std::string& text);
  void FormShow();
  void CenterOnMainWindow();

  QSize lastPanel3Size_;
  // What each row's labels were last given, and the texts made of it.
  struct TRowTexts {
    std::string Source[4];
    QString Text[4];
  };
  std::vector<TRowTexts> RowTexts_;
};
