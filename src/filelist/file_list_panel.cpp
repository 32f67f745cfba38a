#include "filelist/file_list_panel.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFontMetrics>
#include <QLabel>
#include <QListWidget>
#include <QMimeData>
#include <QPushButton>
#include <QStyle>
#include <QTimer>
#include <QUrl>
#include <algorithm>

#include "app/window/main_controls.h"
#include "app/window/main_window.h"
#include "filelist/preview_panel.h"
#include "platform/shell/shell.h"
#include "production/extensions.h"

namespace mirelo::filelist {
namespace {

// The widest entry the list measures (a signed 16-bit extent less the 20 pixels of margin).
constexpr int kWidestEntry = 32747;

class Programmatic {
 public:
  explicit Programmatic(int& depth) : depth_(depth) { ++depth_; }
  ~Programmatic() { --depth_; }
  Programmatic(const Programmatic&) = delete;
  Programmatic& operator=(const Programmatic&) = delete;

 private:
  int& depth_;
};

}  // namespace

std::vector<std::string> DroppedLocalPaths(const QMimeData& data) {
  std::vector<std::string> paths;
  if (!data.hasUrls()) return paths;
  for (const QUrl& url : data.urls()) {
    // Only files of this machine; a remote or virtual location is not a file we can read.
    if (!url.isLocalFile()) continue;
    const QString local = url.toLocalFile();
    if (local.isEmpty()) continue;
    paths.push_back(QFile::encodeName(local).toStdString());
  }
  return paths;
}

FileListPanel::FileListPanel(window::MainWindow& window, const window::MainControls& controls, shell::Shell& shell,
                             PreviewPanel& preview)
    : QObject(&window), window_(window), c_(controls), shell_(shell), preview_(preview) {
  QListWidget* list = c_.List1;
  list->setAcceptDrops(true);
  list->viewport()->setAcceptDrops(true);
  list->setDragEnabled(false);
  list->setSelectionMode(QAbstractItemView::SingleSelection);
  // Every row has the height of the first; its width is the list's horizontal extent.
  list->setUniformItemSizes(true);
  list->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
  list->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  list->viewport()->installEventFilter(this);
  list->installEventFilter(this);

  connect(list, &QListWidget::itemClicked, this, [this] { RequestClick(); });
  connect(list, &QListWidget::currentRowChanged, this, [this] {
    if (programmatic_ == 0) RequestClick();
  });
  connect(list, &QListWidget::itemChanged, this, [this](QListWidgetItem* item) {
    if (programmatic_ == 0 && item == c_.List1->currentItem()) RequestClick();
  });
  connect(c_.Bt_Del, &QPushButton::clicked, this, &FileListPanel::Bt_Del_Click);
  connect(c_.Bt_All_Del, &QPushButton::clicked, this, &FileListPanel::Bt_All_Del_Click);
  connect(c_.Bt_Expl, &QPushButton::clicked, this, &FileListPanel::Bt_Expl_Click);
}

void FileListPanel::RequestClick() {
  if (clickPending_) return;
  clickPending_ = true;
  QTimer::singleShot(0, this, [this] {
    clickPending_ = false;
    preview_.List1_Click();
  });
}

bool FileListPanel::eventFilter(QObject* watched, QEvent* event) {
  switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove: {
      auto* drag = static_cast<QDragMoveEvent*>(event);
      if (window_.BatchRunning == 0 && drag->mimeData() && drag->mimeData()->hasUrls()) {
        drag->setDropAction(Qt::CopyAction);
        drag->accept();
      } else {
        drag->ignore();
      }
      return true;
    }
    case QEvent::Drop: {
      auto* drop = static_cast<QDropEvent*>(event);
      if (window_.BatchRunning != 0 || !drop->mimeData() || !drop->mimeData()->hasUrls()) {
        drop->ignore();
        return true;
      }
      drop->setDropAction(Qt::CopyAction);
      drop->accept();
      List1_OLEDragDrop(DroppedLocalPaths(*drop->mimeData()));
      return true;
    }
    default:
      return QObject::eventFilter(watched, event);
  }
}

void FileListPanel::List1_OLEDragDrop(const std::vector<std::string>& paths) {
  if (window_.BatchRunning != 0) return;
  window_.DropInProgress = -1;
  std::vector<std::string> listed;
  listed.reserve(static_cast<std::size_t>(c_.List1->count()));
  for (int i = 0; i < c_.List1->count(); ++i) listed.push_back(QFile::encodeName(c_.List1->item(i)->text()).toStdString());
  const std::vector<std::string> accepted = production::AcceptDroppedPaths(paths, listed);
  if (!accepted.empty()) {
    const Programmatic quiet(programmatic_);
    c_.List1->setUpdatesEnabled(false);
    for (const std::string& path : accepted) {
      preview_.CurrentFile = path;
      auto* item = new QListWidgetItem(QFile::decodeName(QByteArray::fromStdString(path)));
      item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
      item->setCheckState(Qt::Checked);
      c_.List1->addItem(item);
      c_.List2->addItem(QString());
    }
    c_.List1->setCurrentRow(c_.List1->count() - 1);
    c_.List1->setUpdatesEnabled(true);
  }
  window_.DropInProgress = 0;
  preview_.List1_Click();
  UpdateListExtent();
}

void FileListPanel::UpdateListExtent() {
  QListWidget* list = c_.List1;
  if (list->count() == 0) return;
  const QFontMetrics metrics(list->font());
  int widest = 0;
  for (int i = 0; i < list->count(); ++i) widest = std::max(widest, metrics.horizontalAdvance(list->item(i)->text()));
  widest = std::min(widest, kWidestEntry);
  // The check box stands before the text; the extent leaves room for it and 20 pixels more.
  const int indicator = list->style()->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, list) + 8;
  const int height = std::max(metrics.height(), list->style()->pixelMetric(QStyle::PM_IndicatorHeight)) + 4;
  const Programmatic quiet(programmatic_);
  list->item(0)->setSizeHint(QSize(widest + 20 + indicator, height));
}

std::vector<production::BatchEntry> FileListPanel::Entries() const {
  std::vector<production::BatchEntry> entries;
  entries.reserve(static_cast<std::size_t>(c_.List1->count()));
  for (int i = 0; i < c_.List1->count(); ++i) {
    const QListWidgetItem* item = c_.List1->item(i);
    entries.push_back({QFile::encodeName(item->text()).toStdString(), item->checkState() == Qt::Checked,
                       i < c_.List2->count() ? c_.List2->item(i)->text().toStdString() : std::string()});
  }
  return entries;
}

int FileListPanel::Count() const { return c_.List1->count(); }

void FileListPanel::SetCurrent(int index) {
  const Programmatic quiet(programmatic_);
  c_.List1->setCurrentRow(index);
}

void FileListPanel::SetSelected(int index, bool selected) {
  if (index < 0 || index >= c_.List1->count()) return;
  const Programmatic quiet(programmatic_);
  c_.List1->item(index)->setCheckState(selected ? Qt::Checked : Qt::Unchecked);
}

void FileListPanel::Bt_Del_Click() {
  if (window_.BatchRunning != 0) return;
  preview_.CurrentIndex = static_cast<std::int16_t>(c_.List1->currentRow());
  if (preview_.CurrentIndex < 0) {
    shell_.ShowError(&window_, QStringLiteral(u"リストが選択されていません"));
    return;
  }
  {
    const Programmatic quiet(programmatic_);
    delete c_.List1->takeItem(preview_.CurrentIndex);
    delete c_.List2->takeItem(preview_.CurrentIndex);
    // No entry is current after a removal.
    c_.List1->setCurrentRow(-1);
  }
  preview_.ShowStillInfo(false);
  preview_.EnablePlayer(false);
  preview_.List1_Click();
  UpdateListExtent();
}

void FileListPanel::Bt_All_Del_Click() {
  if (window_.BatchRunning != 0) return;
  preview_.ReleaseVideo();
  {
    const Programmatic quiet(programmatic_);
    c_.List1->clear();
    c_.List2->clear();
  }
  preview_.ShowStillInfo(false);
  preview_.EnablePlayer(false);
  preview_.List1_Click();
}

void FileListPanel::Bt_Expl_Click() { shell_.OpenUrl(QUrl::fromLocalFile(QStringLiteral(u"/"))); }

}  // namespace mirelo::filelist
