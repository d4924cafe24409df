// Checks and pictures of a window's layout: every control inside the window, wide enough for its
// text and apart from the others; the picture written to $KVX_SCREENSHOT_DIR when that is set
// (the pictures in docs/).
#pragma once

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAbstractScrollArea>
#include <QAbstractSpinBox>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QWidget>
#include <functional>
#include <string>
#include <vector>

namespace layouttest {

// ExtraLeaf names further widgets that count as one control (a paint box, say).
inline void CollectLeaves(QWidget* top, QWidget* w, std::vector<QWidget*>& out,
                          const std::function<bool(QWidget*)>& ExtraLeaf) {
  for (QObject* o : w->children()) {
    auto* child = qobject_cast<QWidget*>(o);
    if (!child || !child->isVisibleTo(top) || child->isWindow()) continue;
    const bool leaf = qobject_cast<QLabel*>(child) || qobject_cast<QAbstractButton*>(child) ||
                      qobject_cast<QLineEdit*>(child) || qobject_cast<QComboBox*>(child) ||
                      qobject_cast<QAbstractSpinBox*>(child) ||
                      qobject_cast<QAbstractScrollArea*>(child) || (ExtraLeaf && ExtraLeaf(child));
    if (leaf)
      out.push_back(child);
    else
      CollectLeaves(top, child, out, ExtraLeaf);
  }
}

// Nothing cut off, nothing on top of something else.
inline void ExpectTidy(QWidget* top, const char* what, const std::function<bool(QWidget*)>& ExtraLeaf = {}) {
  std::vector<QWidget*> leaves;
  CollectLeaves(top, top, leaves, ExtraLeaf);
  ASSERT_FALSE(leaves.empty()) << what;
  std::vector<QRect> rects;
  for (QWidget* w : leaves) {
    const QRect r(w->mapTo(top, QPoint(0, 0)), w->size());
    rects.push_back(r);
    const std::string name =
        w->objectName().isEmpty() ? w->metaObject()->className() : w->objectName().toStdString();
    EXPECT_TRUE(top->rect().contains(r)) << what << ": " << name << " outside the window";
    if (auto* l = qobject_cast<QLabel*>(w); l && !l->wordWrap() && !l->text().isEmpty()) {
      EXPECT_GE(l->width(), l->sizeHint().width()) << what << ": label cut: " << l->text().toStdString();
    }
    if (auto* b = qobject_cast<QAbstractButton*>(w); b && !b->text().isEmpty()) {
      EXPECT_GE(b->width(), b->minimumSizeHint().width()) << what << ": " << b->text().toStdString();
    }
    if (auto* c = qobject_cast<QComboBox*>(w)) {
      EXPECT_GE(c->width(), c->minimumSizeHint().width()) << what << ": " << name;
    }
  }
  for (std::size_t i = 0; i < rects.size(); ++i) {
    for (std::size_t k = i + 1; k < rects.size(); ++k) {
      EXPECT_FALSE(rects[i].intersects(rects[k]))
          << what << ": " << leaves[i]->objectName().toStdString() << " "
          << leaves[i]->metaObject()->className() << " overlaps "
          << leaves[k]->objectName().toStdString() << " " << leaves[k]->metaObject()->className();
    }
  }
}

// The widget's picture; written to $KVX_SCREENSHOT_DIR/File when that is set.
inline void SavePicture(QWidget* w, const char* file) {
  QApplication::processEvents();
  const QPixmap pm = w->grab();
  EXPECT_FALSE(pm.isNull()) << file;
  const QString dir = qEnvironmentVariable("KVX_SCREENSHOT_DIR");
  if (!dir.isEmpty()) {
    EXPECT_TRUE(pm.save(QDir(dir).filePath(file), "PNG")) << file;
  }
}

}  // namespace layouttest
