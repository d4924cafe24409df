// The module's parameter table on a grid of the main window: one row per settable parameter the
// access code allows, its value kept current through the command's change event, and the edit
// dialog of the row's kind on double-click or Enter.
#pragma once

#include <QPointer>
#include <QTableWidget>
#include <cstdint>
#include <memory>
#include <unordered_map>

#include "model/osDRUVModProtBase.h"
#include "platform/Component.h"
#include "protocol/ViewInterfaces.h"
#include "views/osDRUVParamListEditDlg.h"

class QModelIndex;
class QPainter;
class QStyleOptionViewItem;

class TKVXParamList : public platform::TComponent, public IParamListView {
 public:
  explicit TKVXParamList(platform::TComponent* owner = nullptr);
  ~TKVXParamList() override;

  // The grid's headings stand in its horizontal header; its rows are the data rows, row r of
  // the table being row r + 1 of the parameter table (row 0 being the headings). Column 0 holds
  // the command's name with the command attached, column 1 the value, column 2 the help text.
  QTableWidget* ParamGrid() const { return Grid.data(); }
  // Binds the grid (not owned): 3 columns, one empty data row, widths 130/210/660, the
  // headings. The grid's handlers are installed by Fill. Destroying the grid unbinds it.
  void SetParamGrid(QTableWidget* Value);

  bool ShowCmdGrpInfo() const { return EditDlg->ShowCmdGrpInfo; }
  void SetShowCmdGrpInfo(bool v) { EditDlg->ShowCmdGrpInfo = v; }
  bool ShowDecimals() const { return EditDlg->ShowDecimals; }
  void SetShowDecimals(bool v) { EditDlg->ShowDecimals = v; }
  bool AinCommandUI() const { return EditDlg->AinCommandUI; }
  void SetAinCommandUI(bool v) { EditDlg->AinCommandUI = v; }

  // Rebuilds the table: the read/write parameters whose groups meet the access set (the groups
  // of AccessCode; all but NewTab, NewData and DRUVTEC for 0). False without grid or list.
  bool Fill(TModCommandList* CmdList, std::uint16_t AccessCode) override;
  // Rewrites every value cell from its command. False without grid.
  bool RefreshValues() override;
  void SetOnCmdSendRequest(TCmdSendRequestEvent handler) override {
    OnCmdSendRequest = std::move(handler);
  }

  // A listed command's value changed: rewrites its one value cell (two decimals for NumPara of
  // value type 21 or 22 while ShowDecimals is on).
  void CommandChanged(TObject* Sender);

  // The grid's handlers.
  void GridMouseDown(const QPoint& viewportPos);
  void GridHeaderMouseDown();
  void GridDblClick();
  void GridKeyPress(char Key);
  void GridDrawCell(QPainter* painter, const QStyleOptionViewItem& option,
                    const QModelIndex& index);

  // The command attached to a table row (0-based table row); nullptr for an empty row, and for
  // a row whose command has been freed since the last Fill.
  TModCtrlCommand* RowCommand(int tableRow) const;
  // Whether cmd is a command of the last Fill that still exists. Compares addresses only.
  bool IsLiveCommand(const TObject* cmd) const;

  // Whether an item of a list is shown for the access set.
  static bool IsListed(TObject* item, TModCmdGroups accessSet);
  static TModCmdGroups AccessSet(std::uint16_t AccessCode);

  std::unique_ptr<TParamListEditDlg> EditDlg;
  // The command of the row last clicked with the mouse; forgotten by every Fill.
  TModCtrlCommand* ClickedCmd = nullptr;
  TCmdSendRequestEvent OnCmdSendRequest;

 private:
  class GridHook;
  class CellDelegate;

  void EditAndRequest(TModCtrlCommand* cmd, bool fromCurrentRow);
  void Unhook();

  QPointer<QTableWidget> Grid;
  std::unique_ptr<GridHook> hook_;
  QPointer<CellDelegate> delegate_;
  // Shared with the commands' change handlers, which may outlive this list.
  std::shared_ptr<TKVXParamList*> self_;
  // One token per command of the last Fill, held only by the change handler installed on that
  // command: the handler goes with the command, so an expired token means the command is gone
  // (its list was cleared or rebuilt without a new Fill) and its rows must not be touched.
  std::unordered_map<const TObject*, std::weak_ptr<void>> alive_;
};
