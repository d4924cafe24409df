// The dialog that edits one parameter of the grid, with one page per kind of input: a choice from
// a list of texts, an integer (optionally shown with two decimals), an analog-input scaling
// "Y = A / B * (X - C)", and a characteristic curve of 21 points edited in a grid and by dragging
// in a plot. It checks every entry and, on OK, writes the new value into the command; it never
// talks to the module.
#pragma once

#include <QDialog>
#include <QGroupBox>
#include <QImage>
#include <QPoint>
#include <QWidget>
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "model/osDRUVModProtBase.h"
#include "platform/Object.h"

class QAbstractButton;
class QButtonGroup;
class QComboBox;
class QLabel;
class QLineEdit;
class QMouseEvent;
class QPainter;
class QPlainTextEdit;
class QPushButton;
class QStackedWidget;
class QTableWidget;

// Reads a decimal text exactly as hundredths: integer part times 100 plus the first two
// decimals, further decimals cut off toward zero ("0,29" is 29, "1,005" is 100, "-0,5" is -50).
// The separator is the comma or DecimalSep; blanks around the text are allowed. False for a
// malformed text or a result outside the 32-bit integer range.
bool TryDecimalTextToHundredths(const std::string& S, char DecimalSep, std::int32_t& Hundredths);

// A plain drawing surface whose painting and mouse handling belong to its form.
class TPaintBox : public QWidget {
 public:
  explicit TPaintBox(QWidget* parent = nullptr) : QWidget(parent) {}

  std::function<void(QPainter& canvas)> OnPaint;
  std::function<void(QMouseEvent* event)> OnMouseDown;
  std::function<void(QMouseEvent* event)> OnMouseMove;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
};

// A titled group of radio buttons, one of which is chosen (ItemIndex, -1 none).
class TRadioGroup : public QGroupBox {
 public:
  TRadioGroup(const QString& title, const QStringList& items, QWidget* parent = nullptr);

  int ItemIndex() const;
  // Chooses an item without raising OnClick.
  void SetItemIndex(int index);
  // The button of item `index`, so a user's click can be simulated.
  QAbstractButton* Button(int index) const;

  // Raised when the user chooses an item.
  std::function<void()> OnClick;

 private:
  QButtonGroup* group_;
};

class TParamListEditDlgForm : public QDialog {
 public:
  explicit TParamListEditDlgForm(QWidget* parent = nullptr);
  ~TParamListEditDlgForm() override;

  // Size of the curve plot and its background.
  static constexpr int kPlotWidth = 455;
  static constexpr int kPlotHeight = 440;
  static constexpr int kCCPointCount = 21;

  // Components, in the order of the form description.
  QWidget* Panel1 = nullptr;
  QWidget* Panel2 = nullptr;
  QPushButton* BBtnCancel = nullptr;
  QPushButton* BBtnOK = nullptr;
  QGroupBox* GroupBox1 = nullptr;
  QStackedWidget* NB = nullptr;
  QLabel* Label2 = nullptr;
  QLabel* Label3 = nullptr;
  QLineEdit* LENumPara = nullptr;
  QLabel* LENumParaLabel = nullptr;
  QGroupBox* GroupBox2 = nullptr;
  QPlainTextEdit* MemoComment = nullptr;
  QComboBox* CBoxTextPara = nullptr;
  QLabel* Label1 = nullptr;
  QLabel* LabelMin = nullptr;
  QLabel* LabelMax = nullptr;
  QLineEdit* LEditAinA = nullptr;
  QLineEdit* LEditAinB = nullptr;
  QLineEdit* LEditAinC = nullptr;
  QComboBox* CBoxAinX = nullptr;
  QLabel* Label5 = nullptr;
  QLabel* Label6 = nullptr;
  QLabel* Label7 = nullptr;
  QLabel* Label8 = nullptr;
  QLabel* VoltageLabel = nullptr;
  QLabel* Label10 = nullptr;
  TRadioGroup* RGrpPresetting = nullptr;
  QTableWidget* SGridCC = nullptr;
  TPaintBox* PBoxCC = nullptr;
  QGroupBox* GroupBox3 = nullptr;
  QPushButton* BtnDefault = nullptr;

  // The command being edited; set by the dialog's Execute.
  TModCtrlCommand* Cmd = nullptr;
  // The number page shows hundredths with two decimals (set by Execute).
  bool DecimalsShown = false;
  // The curve plot's grid, labels and axes, drawn once on the first show.
  QImage Background;
  // Plot positions of the curve points: element i is grid row i + 1 and curve index 10 - i.
  std::array<QPoint, kCCPointCount> CCPoints{};
  int DragIndex = -1;
  bool FirstShow = true;
  // The curve grid cell last entered (grid rows 1..21 as below), -1 for none.
  int LastCol = -1;
  int LastRow = -1;
  // The last key typed into the curve grid was Enter.
  bool EnterPressed = false;
  // The edit being typed in: set on entering it and on every key, cleared when it is left.
  QLineEdit* ActiveEdit = nullptr;

  // Shows the page named after a command kind: "TextPara", "NumPara", "CCPara", "AinPara".
  bool ShowPage(const std::string& name);
  std::string CurrentPage() const;

  // Checks one of the four edits against the command: an integer (with decimals where they are
  // shown) within its range. On failure shows the message, corrects the text and gives the
  // edit the focus with its text marked.
  bool ValidateEdit(QLineEdit* edit);
  // The item of a choice box (the text list or the unit) its text names, whatever its case;
  // -1 when the text names none, also for a character that Windows-1252 cannot write.
  int ChoiceIndex(const QComboBox* box) const;
  // A choice box must name one of its items. Otherwise shows the message, puts the command's
  // value back and gives the box the focus with its text marked.
  bool ValidateChoice(QComboBox* box);
  // Shows the command's value in a choice box: its item, or an empty text when it names none.
  void LoadChoice(QComboBox* box);

  // The curve grid, addressed as rows 1..21 (row 0 is the heading row) and columns 0..2.
  QString CCCell(int col, int row) const;
  void SetCCCell(int col, int row, const QString& text);

  void DrawCCBackground();
  // Redraws the plot from CCPoints.
  void DrawCC();
  // Fills the curve grid and plot from the command, or with the identity line for Default.
  bool LoadCC(bool Default);
  // Keeps an X value within its neighbours (falling downwards) and the end rows at +-10000.
  bool CheckCCCell(int ACol, int ARow);
  void GridRowToPoint(int ARow);
  void PointToGridRow(const QPoint& Point, int Index);

  // Mapping between curve values and plot pixels; dragging yields multiples of 50.
  static int CurveToPixelX(int x);
  static int CurveToPixelY(int y);
  static int PixelToCurveX(int px) { return (px - 245) * 50; }
  static int PixelToCurveY(int py) { return (210 - py) * 50; }

  // Handlers, named as in the form description.
  void FormShow();
  void RGrpPresettingClick();
  void BtnDefaultClick();
  void PBoxCCMouseDown(QMouseEvent* event);
  void PBoxCCMouseMove(QMouseEvent* event);
  void PBoxCCPaint(QPainter& canvas);
  // The curve grid: text committed to a cell, a move to another cell, focus leaving the grid.
  void SGridCCSetEditText(int ACol, int ARow, const QString& Value);
  void SGridCCCellChanged(int ACol, int ARow);
  void SGridCCExit();

  // OK checks the entries first and stays open when one is refused; every other way of
  // closing (Cancel, Escape, the close box) leaves without a check.
  void done(int result) override;

 protected:
  void showEvent(QShowEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  class CCDelegate;
  friend class CCDelegate;

  QWidget* BuildTextPage();
  QWidget* BuildNumPage();
  QWidget* BuildAinPage();
  QWidget* BuildCCPage();
  bool EditKeyPress(QLineEdit* edit, QKeyEvent* event);
  void LEditExit(QLineEdit* edit);
  void CheckRecordedCell();
  bool ValidatePage();
  void GridFocusChanged(QWidget* old, QWidget* now);

  bool validating_ = false;
  bool destroying_ = false;
};

// The dialog component: one form, built once and reused for every edit.
class TParamListEditDlg : public TObject {
 public:
  TParamListEditDlg();
  ~TParamListEditDlg() override;

  std::unique_ptr<TParamListEditDlgForm> Form;
  bool ShowCmdGrpInfo = false;
  bool ShowDecimals = false;
  bool AinCommandUI = false;

  // Edits Cmd in the page of its kind. True only when the user confirmed with OK and the new
  // value was written into Cmd; False for nullptr, an unsupported kind, Cancel, or a text choice
  // that names no item of the list (the command keeps its value).
  bool Execute(TModCtrlCommand* Cmd);

 private:
  void WriteBack(TModCtrlCommand* Cmd, bool& written);
};
