#include "views/osDRUVParamList.h"

#include <QApplication>
#include <QEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyledItemDelegate>
#include <exception>

#include "services/QtText.h"
#include "views/osColors.h"
#include "views/osGridCellDraw.h"

namespace {

constexpr int kNameCol = 0;
constexpr int kValueCol = 1;
constexpr int kHelpCol = 2;
constexpr int kCommandRole = Qt::UserRole + 1;

// Everything but NewTab, NewData and DRUVTEC: the access set of access code 0.
constexpr std::uint16_t kAccessCodeZeroSet = 0xFFBC;

QTableWidgetItem* TextItem(const QString& text) {
  auto* item = new QTableWidgetItem(text);
  item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
  return item;
}

QFont BoldArial(const QFont& gridFont) {
  QFont f = gridFont;
  f.setFamily(QStringLiteral("Arial"));
  f.setBold(true);
  return f;
}

}  // namespace

// Draws every cell through the grid-cell routines.
class TKVXParamList::CellDelegate : public QStyledItemDelegate {
 public:
  CellDelegate(TKVXParamList* list, QObject* parent) : QStyledItemDelegate(parent), list_(list) {}
  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override {
    if (list_) list_->GridDrawCell(painter, option, index);
  }
  void Detach() { list_ = nullptr; }

 private:
  TKVXParamList* list_;
};

// Watches the grid's mouse and keys for the list.
class TKVXParamList::GridHook : public QObject {
 public:
  explicit GridHook(TKVXParamList* list) : list_(list) {}

  bool eventFilter(QObject* watched, QEvent* event) override {
    // Only user input matters here. Other events also arrive while the grid is being destroyed,
    // when it must not be touched any more.
    const QEvent::Type type = event->type();
    if (type != QEvent::MouseButtonPress && type != QEvent::MouseButtonDblClick &&
        type != QEvent::KeyPress)
      return false;
    QTableWidget* grid = list_->Grid.data();
    if (!grid) return false;
    const bool onCells = watched == grid->viewport();
    const bool onHeader = watched == grid->horizontalHeader()->viewport();
    try {
      switch (event->type()) {
        case QEvent::MouseButtonPress:
          if (onCells) list_->GridMouseDown(static_cast<QMouseEvent*>(event)->position().toPoint());
          if (onHeader) list_->GridHeaderMouseDown();
          break;
        case QEvent::MouseButtonDblClick: {
          if (!onCells && !onHeader) break;
          // The second press of a double-click arrives as this event alone.
          auto* me = static_cast<QMouseEvent*>(event);
          if (onCells) list_->GridMouseDown(me->position().toPoint());
          else list_->GridHeaderMouseDown();
          // Only the left button's double-click opens the editor; others are plain presses.
          if (me->button() != Qt::LeftButton) break;
          list_->GridDblClick();
          return true;
        }
        case QEvent::KeyPress:
          if (watched == grid) {
            auto* ke = static_cast<QKeyEvent*>(event);
            if (ke->key() == Qt::Key_Return || ke->key() == Qt::Key_Enter) {
              list_->GridKeyPress('\r');
              return true;
            }
          }
          break;
        default:
          break;
      }
    } catch (...) {
      // A failing send request must not take the window down; the row simply stays as it was.
    }
    return false;
  }

 private:
  TKVXParamList* list_;
};

TKVXParamList::TKVXParamList(platform::TComponent* owner)
    : platform::TComponent(owner),
      EditDlg(std::make_unique<TParamListEditDlg>()),
      hook_(std::make_unique<GridHook>(this)),
      self_(std::make_shared<TKVXParamList*>(this)) {}

TKVXParamList::~TKVXParamList() {
  *self_ = nullptr;
  Unhook();
}

void TKVXParamList::Unhook() {
  if (QTableWidget* g = Grid.data()) {
    g->removeEventFilter(hook_.get());
    g->viewport()->removeEventFilter(hook_.get());
    g->horizontalHeader()->viewport()->removeEventFilter(hook_.get());
    // A view always needs a delegate: the grid gets a plain one back.
    if (delegate_ && g->itemDelegate() == delegate_) g->setItemDelegate(new QStyledItemDelegate(g));
  }
  if (delegate_) {
    delegate_->Detach();
    delegate_->deleteLater();
    delegate_ = nullptr;
  }
}

void TKVXParamList::SetParamGrid(QTableWidget* Value) {
  if (Grid == Value) return;
  Unhook();
  Grid = Value;
  ClickedCmd = nullptr;
  alive_.clear();
  if (!Value) return;
  Value->clear();
  Value->setColumnCount(3);
  Value->setRowCount(1);
  Value->setColumnWidth(kNameCol, 130);
  Value->setColumnWidth(kValueCol, 210);
  Value->setColumnWidth(kHelpCol, 660);
  Value->setHorizontalHeaderLabels({"Command", "Parameter", "Help"});
  Value->verticalHeader()->hide();
}

bool TKVXParamList::IsListed(TObject* item, TModCmdGroups accessSet) {
  auto* cmd = dynamic_cast<TModCtrlCommand*>(item);
  return cmd && cmd->AType == 3 && (cmd->GetGroups().Bits & accessSet.Bits) != 0;
}

TModCmdGroups TKVXParamList::AccessSet(std::uint16_t AccessCode) {
  return GCodeToGroupSet(AccessCode == 0 ? kAccessCodeZeroSet : AccessCode);
}

bool TKVXParamList::Fill(TModCommandList* CmdList, std::uint16_t AccessCode) {
  QTableWidget* g = Grid.data();
  if (!g || !CmdList) return false;
  // The rows' commands may be gone already (a new identification): forget the last click.
  ClickedCmd = nullptr;
  alive_.clear();
  g->clearContents();

  // Handlers, look and behaviour; a refill hooks the grid afresh.
  for (QObject* o : {static_cast<QObject*>(g), static_cast<QObject*>(g->viewport()),
                     static_cast<QObject*>(g->horizontalHeader()->viewport())}) {
    o->removeEventFilter(hook_.get());
    o->installEventFilter(hook_.get());
  }
  if (!delegate_) {
    delegate_ = new CellDelegate(this, g);
    g->setItemDelegate(delegate_);
  }
  g->setShowGrid(true);
  g->setSelectionBehavior(QAbstractItemView::SelectRows);
  g->setSelectionMode(QAbstractItemView::SingleSelection);
  g->setEditTriggers(QAbstractItemView::NoEditTriggers);
  g->setWordWrap(false);
  g->horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  g->horizontalHeader()->setSectionsMovable(false);
  g->horizontalHeader()->setSectionsClickable(false);
  g->horizontalHeader()->setHighlightSections(false);
  g->verticalHeader()->hide();
  g->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  QFont font(QStringLiteral("Courier New"));
  font.setPointSize(10);
  font.setStyleHint(QFont::TypeWriter);
  g->setFont(font);
  g->verticalHeader()->setDefaultSectionSize(QFontMetrics(font).height() + 8);
  g->setColumnCount(3);

  const TModCmdGroups access = AccessSet(AccessCode);
  int listed = 0;
  for (int i = 0; i < CmdList->Count(); ++i)
    if (IsListed(CmdList->GetObject(i), access)) ++listed;
  // With access code 0 the table is as long as the whole list.
  int rows = (AccessCode != 0 ? listed : CmdList->Count()) + 1;
  if (rows <= 2) rows = 2;
  g->setRowCount(rows - 1);
  g->setColumnWidth(kNameCol, 130);
  g->setColumnWidth(kValueCol, 210);
  g->setColumnWidth(kHelpCol, 725);
  const QFont headFont = BoldArial(font);
  g->horizontalHeader()->setFont(headFont);
  // Headings keep the same 4-pixel margins as the cells below them.
  g->horizontalHeader()->setStyleSheet(
      QStringLiteral("QHeaderView::section { padding-left: %1px; padding-right: %1px; }")
          .arg(kGridCellTextMargin));
  const char* headings[] = {"Command", "Parameter", "Help"};
  for (int c = 0; c < 3; ++c) {
    auto* h = new QTableWidgetItem(headings[c]);
    h->setFont(headFont);
    h->setTextAlignment((c == kValueCol ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter);
    g->setHorizontalHeaderItem(c, h);
  }

  int row = 0;
  std::weak_ptr<TKVXParamList*> self = self_;
  for (int i = 0; i < CmdList->Count(); ++i) {
    TObject* obj = CmdList->GetObject(i);
    if (!IsListed(obj, access)) continue;
    auto* cmd = static_cast<TModCtrlCommand*>(dynamic_cast<TModCtrlCommand*>(obj));
    QTableWidgetItem* name = TextItem(FromAnsi(cmd->Name));
    name->setData(kCommandRole, QVariant::fromValue(reinterpret_cast<quintptr>(
                                    static_cast<TObject*>(cmd))));
    g->setItem(row, kNameCol, name);
    g->setItem(row, kValueCol, TextItem(FromAnsi(cmd->GetValueStr())));
    g->setItem(row, kHelpCol, TextItem(FromAnsi(cmd->Help)));
    // The list may go before the commands do: the handler then does nothing. The token lives
    // exactly as long as this handler, that is as long as the command keeps it.
    auto token = std::make_shared<char>(0);
    alive_[cmd] = token;
    cmd->OnChange = [self, token](TObject* sender) {
      if (auto p = self.lock(); p && *p) (*p)->CommandChanged(sender);
    };
    ++row;
  }
  return true;
}

TModCtrlCommand* TKVXParamList::RowCommand(int tableRow) const {
  QTableWidget* g = Grid.data();
  if (!g || tableRow < 0 || tableRow >= g->rowCount()) return nullptr;
  const QTableWidgetItem* item = g->item(tableRow, kNameCol);
  if (!item) return nullptr;
  const QVariant v = item->data(kCommandRole);
  if (!v.isValid()) return nullptr;
  auto* obj = reinterpret_cast<TObject*>(v.value<quintptr>());
  // Only a command that still exists may be looked at at all.
  if (!IsLiveCommand(obj)) return nullptr;
  return dynamic_cast<TModCtrlCommand*>(obj);
}

bool TKVXParamList::IsLiveCommand(const TObject* cmd) const {
  if (!cmd) return false;
  const auto it = alive_.find(cmd);
  return it != alive_.end() && !it->second.expired();
}

bool TKVXParamList::RefreshValues() {
  QTableWidget* g = Grid.data();
  if (!g) return false;
  for (int r = 0; r < g->rowCount(); ++r)
    if (TModCtrlCommand* cmd = RowCommand(r)) {
      if (QTableWidgetItem* item = g->item(r, kValueCol)) item->setText(FromAnsi(cmd->GetValueStr()));
      else g->setItem(r, kValueCol, TextItem(FromAnsi(cmd->GetValueStr())));
    }
  return true;
}

void TKVXParamList::CommandChanged(TObject* Sender) {
  QTableWidget* g = Grid.data();
  auto* cmd = dynamic_cast<TModCtrlCommand*>(Sender);
  if (!g || !cmd) return;
  for (int r = 0; r < g->rowCount(); ++r) {
    if (RowCommand(r) != cmd) continue;
    std::string text;
    auto* num = dynamic_cast<TModNumParaCmd*>(cmd);
    if (num && cmd->Kind == NumPara && (cmd->VType == 21 || cmd->VType == 22) && ShowDecimals())
      text = num->GetValueStr100();
    else
      text = cmd->GetValueStr();
    if (QTableWidgetItem* item = g->item(r, kValueCol)) item->setText(FromAnsi(text));
    else g->setItem(r, kValueCol, TextItem(FromAnsi(text)));
    return;
  }
}

void TKVXParamList::GridMouseDown(const QPoint& viewportPos) {
  ClickedCmd = nullptr;
  QTableWidget* g = Grid.data();
  if (!g) return;
  const int row = g->rowAt(viewportPos.y());
  const int col = g->columnAt(viewportPos.x());
  if (col < 0 || row < 0) return;
  g->setCurrentCell(row, col);
  ClickedCmd = RowCommand(row);
}

void TKVXParamList::GridHeaderMouseDown() { ClickedCmd = nullptr; }

void TKVXParamList::EditAndRequest(TModCtrlCommand* cmd, bool fromCurrentRow) {
  if (!cmd) return;
  QPointer<QTableWidget> g = Grid;
  if (!EditDlg->Execute(cmd)) return;
  TModCtrlCommand* target = cmd;
  if (fromCurrentRow) {
    // The grid may have gone while the dialog was open.
    if (!g) return;
    target = RowCommand(g->currentRow());
  }
  if (target && OnCmdSendRequest) OnCmdSendRequest(this, target);
}

void TKVXParamList::GridDblClick() {
  if (!ClickedCmd) return;
  if (!IsLiveCommand(ClickedCmd)) {
    ClickedCmd = nullptr;  // freed since the click: nothing to edit
    return;
  }
  EditAndRequest(ClickedCmd, true);
}

void TKVXParamList::GridKeyPress(char Key) {
  QTableWidget* g = Grid.data();
  if (Key != '\r' || !g) return;
  EditAndRequest(RowCommand(g->currentRow()), false);
}

void TKVXParamList::GridDrawCell(QPainter* painter, const QStyleOptionViewItem& option,
                                 const QModelIndex& index) {
  QTableWidget* g = Grid.data();
  if (!g || !painter) return;
  const int col = index.column();
  const QPalette& pal = option.palette;
  // The brush the grid gives the cell: the fixed colour for the name column, the highlight for
  // the current row, the base colour otherwise.
  QBrush brush = pal.brush(QPalette::Base);
  QColor pen = pal.color(QPalette::Text);
  if (col == kNameCol) {
    brush = pal.brush(QPalette::Button);
    pen = pal.color(QPalette::ButtonText);
  } else if (option.state & QStyle::State_Selected) {
    pen = pal.color(QPalette::HighlightedText);
    // The style's highlight, darkened where it is too pale for its text to be read on it.
    brush = ReadableTextColor(pal.color(QPalette::Highlight), pen);
  }
  painter->save();
  painter->setBrush(brush);
  painter->setPen(pen);
  painter->setFont(g->font());
  const QFont bold = BoldArial(g->font());
  if (col == kNameCol)
    DrawGridCellText(g, painter, option.rect, col, index.row(), gcaLeft, gcaVCenter, false, &bold);
  else if (col == kValueCol)
    DrawGridCellTextRect(g, painter, option.rect, col, index.row(), gcaRight, gcaVCenter, false);
  else
    DrawGridCellTextRect(g, painter, option.rect, col, index.row(), gcaLeft, gcaVCenter, false);
  painter->restore();
}
