#pragma once
// The control strip's layout: columns of two cells (a top and a bottom control or row of
// controls), placed left to right in their order and wrapped into as many bands of two rows
// as the width needs. In a band the top cells share one row and the bottom cells the next, so
// the controls line up as in a grid. Room left in a band goes first to columns short of their
// preferred width, then to those with a stretch. Its height depends on its width. UI thread
// only.

#include <QLayout>
#include <vector>

namespace bandscope {

class ColumnFlow final : public QLayout {
 public:
  explicit ColumnFlow(QWidget* parent);
  ~ColumnFlow() override;
  ColumnFlow(const ColumnFlow&) = delete;
  ColumnFlow& operator=(const ColumnFlow&) = delete;

  // A cell is a widget of the layout's own widget, or a row layout (which the flow takes).
  // withNext: this column and the next always stand in the same band (a label and its bar).
  void addColumn(QWidget* top, QWidget* bottom, int stretch = 0, bool withNext = false);
  void addColumn(QLayout* top, QWidget* bottom, int stretch = 0, bool withNext = false);
  void setVerticalSpacing(int spacing) { vSpacing_ = spacing; }
  // How many bands of two rows the layout takes at this width.
  int bandsAt(int width) const;

  // QLayout
  void addItem(QLayoutItem* item) override;  // a column of its own, bottom cell empty
  int count() const override;
  QLayoutItem* itemAt(int index) const override;
  QLayoutItem* takeAt(int index) override;
  QSize sizeHint() const override;
  QSize minimumSize() const override;
  bool hasHeightForWidth() const override { return true; }
  int heightForWidth(int width) const override;
  Qt::Orientations expandingDirections() const override { return Qt::Horizontal; }
  void setGeometry(const QRect& rect) override;

 private:
  struct Column {
    QLayoutItem* cells[2] = {nullptr, nullptr};
    int stretch = 0;
    bool withNext = false;
  };
  struct Band {
    int first = 0;  // its columns: first .. first + count - 1
    int count = 0;
    int rowHeight[2] = {0, 0};
  };
  void add(QLayoutItem* top, QLayoutItem* bottom, int stretch, bool withNext);
  static int widthOf(const Column& c, bool preferred);
  int innerWidth(int width) const;
  std::vector<Band> bands(int inner) const;
  // The columns' widths in one band of the given inner width.
  std::vector<int> widths(const Band& band, int inner) const;
  int heightOf(const std::vector<Band>& bands) const;

  std::vector<Column> columns_;
  int vSpacing_ = 1;
};

}  // namespace bandscope
