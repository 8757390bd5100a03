#include "app/window/column_flow.h"

#include <QWidget>
#include <algorithm>
#include <cstdint>
#include <utility>

namespace bandscope {

namespace {

QLayoutItem* widgetCell(QWidget* w) {
  auto* item = new QWidgetItem(w);
  item->setAlignment(Qt::AlignVCenter);  // centred in its row, as wide as its column
  return item;
}

int cellHeight(const QLayoutItem* cell) {
  return cell != nullptr && !cell->isEmpty() ? cell->sizeHint().height() : 0;
}

}  // namespace

ColumnFlow::ColumnFlow(QWidget* parent) : QLayout(parent) {}

ColumnFlow::~ColumnFlow() {
  for (Column& c : columns_) {
    for (QLayoutItem*& cell : c.cells) delete std::exchange(cell, nullptr);
  }
}

void ColumnFlow::add(QLayoutItem* top, QLayoutItem* bottom, int stretch, bool withNext) {
  columns_.push_back({{top, bottom}, stretch, withNext});
  invalidate();
}

void ColumnFlow::addColumn(QWidget* top, QWidget* bottom, int stretch, bool withNext) {
  addChildWidget(top);
  addChildWidget(bottom);
  add(widgetCell(top), widgetCell(bottom), stretch, withNext);
}

void ColumnFlow::addColumn(QLayout* top, QWidget* bottom, int stretch, bool withNext) {
  addChildLayout(top);
  addChildWidget(bottom);
  add(top, widgetCell(bottom), stretch, withNext);
}

void ColumnFlow::addItem(QLayoutItem* item) {
  add(item, nullptr, 0, false);
}

int ColumnFlow::count() const {
  int n = 0;
  for (const Column& c : columns_) n += (c.cells[0] != nullptr) + (c.cells[1] != nullptr);
  return n;
}

QLayoutItem* ColumnFlow::itemAt(int index) const {
  for (const Column& c : columns_) {
    for (QLayoutItem* cell : c.cells) {
      if (cell != nullptr && index-- == 0) return cell;
    }
  }
  return nullptr;
}

// A widget deleted before its layout: its cell stays empty.
QLayoutItem* ColumnFlow::takeAt(int index) {
  for (Column& c : columns_) {
    for (QLayoutItem*& cell : c.cells) {
      if (cell != nullptr && index-- == 0) {
        invalidate();
        return std::exchange(cell, nullptr);
      }
    }
  }
  return nullptr;
}

int ColumnFlow::widthOf(const Column& c, bool preferred) {
  int width = 0;
  for (const QLayoutItem* cell : c.cells) {
    if (cell == nullptr || cell->isEmpty()) continue;
    width = std::max(width, cell->minimumSize().width());
    if (preferred) width = std::max(width, cell->sizeHint().width());
  }
  return width;
}

int ColumnFlow::innerWidth(int width) const {
  const QMargins m = contentsMargins();
  return width - m.left() - m.right();
}

// Greedy: each band takes the next columns while their least widths fit; a band holds at
// least one run of columns that stay together, however narrow the width.
std::vector<ColumnFlow::Band> ColumnFlow::bands(int inner) const {
  std::vector<Band> out;
  const int gap = std::max(0, spacing());
  const auto n = static_cast<int>(columns_.size());
  int i = 0;
  while (i < n) {
    Band band;
    band.first = i;
    int used = 0;
    while (i < n) {
      int end = i;
      int run = widthOf(columns_[end], false);
      while (columns_[end].withNext && end + 1 < n) run += gap + widthOf(columns_[++end], false);
      const int need = band.count > 0 ? used + gap + run : run;
      if (band.count > 0 && need > inner) break;
      used = need;
      band.count += end - i + 1;
      i = end + 1;
    }
    for (int k = band.first; k < band.first + band.count; ++k) {
      for (int row = 0; row < 2; ++row)
        band.rowHeight[row] = std::max(band.rowHeight[row], cellHeight(columns_[k].cells[row]));
    }
    out.push_back(band);
  }
  return out;
}

std::vector<int> ColumnFlow::widths(const Band& band, int inner) const {
  std::vector<int> least(band.count);
  std::vector<int> preferred(band.count);
  int left = inner - std::max(0, spacing()) * (band.count - 1);
  int wanted = 0;
  int stretch = 0;
  for (int k = 0; k < band.count; ++k) {
    const Column& c = columns_[band.first + k];
    least[k] = widthOf(c, false);
    preferred[k] = std::max(least[k], widthOf(c, true));
    left -= least[k];
    wanted += preferred[k] - least[k];
    stretch += c.stretch;
  }
  std::vector<int> out = least;
  if (left <= 0) return out;
  if (wanted > 0) {  // towards the preferred widths, in proportion
    const int give = std::min(left, wanted);
    for (int k = 0; k < band.count; ++k) {
      const int share = static_cast<int>(int64_t{preferred[k] - least[k]} * give / wanted);
      out[k] += share;
      left -= share;
    }
  }
  if (stretch > 0) {
    const int spread = left;
    int last = -1;
    for (int k = 0; k < band.count; ++k) {
      const int s = columns_[band.first + k].stretch;
      if (s == 0) continue;
      const int share = static_cast<int>(int64_t{spread} * s / stretch);
      out[k] += share;
      left -= share;
      last = k;
    }
    out[last] += left;  // what rounding left over
  }
  return out;
}

int ColumnFlow::heightOf(const std::vector<Band>& bands) const {
  const QMargins m = contentsMargins();
  int height = m.top() + m.bottom();
  for (const Band& b : bands) height += b.rowHeight[0] + vSpacing_ + b.rowHeight[1];
  if (!bands.empty()) height += vSpacing_ * static_cast<int>(bands.size() - 1);
  return height;
}

int ColumnFlow::bandsAt(int width) const {
  return static_cast<int>(bands(innerWidth(width)).size());
}

int ColumnFlow::heightForWidth(int width) const {
  return heightOf(bands(innerWidth(width)));
}

QSize ColumnFlow::sizeHint() const {
  const QMargins m = contentsMargins();
  const int gaps = std::max(0, static_cast<int>(columns_.size()) - 1);
  int width = m.left() + m.right() + std::max(0, spacing()) * gaps;
  for (const Column& c : columns_) width += widthOf(c, true);
  return {width, heightForWidth(width)};
}

QSize ColumnFlow::minimumSize() const {
  const QMargins m = contentsMargins();
  const int gap = std::max(0, spacing());
  int width = 0;
  int run = 0;
  for (const Column& c : columns_) {
    run += widthOf(c, false);
    if (c.withNext) {
      run += gap;
      continue;
    }
    width = std::max(width, run);
    run = 0;
  }
  width += m.left() + m.right();
  return {width, heightForWidth(width)};
}

void ColumnFlow::setGeometry(const QRect& rect) {
  QLayout::setGeometry(rect);
  const QRect inner = rect.marginsRemoved(contentsMargins());
  const int gap = std::max(0, spacing());
  int y = inner.y();
  for (const Band& band : bands(inner.width())) {
    const std::vector<int> w = widths(band, inner.width());
    int x = inner.x();
    for (int k = 0; k < band.count; ++k) {
      const Column& c = columns_[band.first + k];
      if (c.cells[0] != nullptr) c.cells[0]->setGeometry(QRect(x, y, w[k], band.rowHeight[0]));
      if (c.cells[1] != nullptr)
        c.cells[1]->setGeometry(
            QRect(x, y + band.rowHeight[0] + vSpacing_, w[k], band.rowHeight[1]));
      x += w[k] + gap;
    }
    y += band.rowHeight[0] + vSpacing_ + band.rowHeight[1] + vSpacing_;
  }
}

}  // namespace bandscope
