#include "filelist/file_list_panel.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QFile>
#include <QFontMetrics>
#include <QLabel>
#include <QListWidget>
#include <QMimeData>
#include <QPushButton>
#include <QStyle>
#include <QTimer>
#include <QUrl>
#include <sys/stat.h>

#include <algorithm>

#include "app/log_buffer.h"
#include "app/utilities.h"
#include "app/window/main_controls.h"
#include "app/window/main_window.h"
#include "filelist/preview_panel.h"
#include "platform/shell/shell.h"
#include "production/extensions.h"
#include "production/folder_reader.h"

namespace mirelo::filelist {
namespace {

// The widest entry the list measures (a signed 16-bit extent less the 20 pixels of margin).
constexpr int kWidestEntry = 32747;
// The window's share of a folder drop: at most this long per turn of its event loop.
constexpr int kDrainBudgetMs = 8;
constexpr int kDrainIntervalMs = 10;
// Entries listed between two looks at the clock (one costs some tens of microseconds).
constexpr std::size_t kDrainBatch = 32;
constexpr int kCountIntervalMs = 100;
// The role of an entry's root (the folder it was found under) on its List1 item.
constexpr int kRootRole = Qt::UserRole + 1;

bool IsFolder(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string Bytes(const QString& text) { return QFile::encodeName(text).toStdString(); }
QString Name(const std::string& path) { return QFile::decodeName(QByteArray::fromStdString(path)); }

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
                             PreviewPanel& preview, app::LogBuffer& log)
    : QObject(&window), window_(window), c_(controls), shell_(shell), preview_(preview), log_(log) {
  drainTimer_ = new QTimer(this);
  drainTimer_->setInterval(kDrainIntervalMs);
  connect(drainTimer_, &QTimer::timeout, this, &FileListPanel::DrainFound);
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

FileListPanel::~FileListPanel() { StopReader(); }

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
  if (window_.Settings().FolderDrop == 1) {
    // Drops keep their order: one made while a folder is read waits for it.
    if (Reading()) {
      queuedDrops_.push_back(paths);
      return;
    }
    if (std::any_of(paths.begin(), paths.end(), IsFolder)) {
      StartFolderDrop(paths);
      return;
    }
  }
  window_.DropInProgress = -1;
  std::vector<std::string> accepted = production::AcceptDroppedPaths(paths, {});
  std::erase_if(accepted, [this](const std::string& path) { return listed_.count(path) > 0; });
  if (!accepted.empty()) {
    const Programmatic quiet(programmatic_);
    c_.List1->setUpdatesEnabled(false);
    for (const std::string& path : accepted) {
      preview_.CurrentFile = path;
      AppendEntry(path, QString());
    }
    c_.List1->setCurrentRow(c_.List1->count() - 1);
    c_.List1->setUpdatesEnabled(true);
  }
  window_.DropInProgress = 0;
  preview_.List1_Click();
  UpdateListExtent();
}

void FileListPanel::AppendEntry(const std::string& path, const QString& root) {
  auto* item = new QListWidgetItem(Name(path));
  item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
  item->setCheckState(Qt::Checked);
  if (!root.isEmpty()) item->setData(kRootRole, root);
  c_.List1->addItem(item);
  c_.List2->addItem(QString());
  listed_.insert(path);
}

void FileListPanel::StartFolderDrop(std::vector<std::string> paths) {
  firstAdded_ = -1;
  countShown_.invalidate();
  drainWidest_ = 0;
  readerCancel_.store(false);
  {
    std::lock_guard lock(foundMutex_);
    found_.clear();
    readerDone_ = false;
  }
  // The naming rule and output folder as they are now tell the program's own thumbnails apart.
  reader_ = std::thread([this, paths = std::move(paths), settings = window_.Settings()] {
    for (const std::string& path : paths) {
      if (readerCancel_.load()) break;
      if (!IsFolder(path)) {
        if (production::CheckDropPath(path, {}) != production::DropVerdict::Accepted) continue;
        std::lock_guard lock(foundMutex_);
        found_.push_back({path, std::string()});
        continue;
      }
      std::string root = path;
      while (root.size() > 1 && root.back() == '/') root.pop_back();
      production::FolderReadOptions options;
      options.settings = &settings;
      options.cancel = &readerCancel_;
      options.onFolderDone = [this, &root](const std::vector<std::string>& files) {
        std::lock_guard lock(foundMutex_);
        for (const std::string& file : files) found_.push_back({file, root});
      };
      const production::FolderReadResult result = production::ReadFolderTree(root, options);
      for (const std::string& folder : result.unreadable) log_.Append(production::FolderUnreadableMessage(folder));
    }
    std::lock_guard lock(foundMutex_);
    readerDone_ = true;
  });
  drainTimer_->start();
}

void FileListPanel::DrainFound() {
  QElapsedTimer clock;
  clock.start();
  const int before = c_.List1->count();
  bool done = false;
  std::vector<Found> batch;
  do {
    batch.clear();
    {
      std::lock_guard lock(foundMutex_);
      while (!found_.empty() && batch.size() < kDrainBatch) {
        batch.push_back(std::move(found_.front()));
        found_.pop_front();
      }
      done = readerDone_ && found_.empty();
    }
    if (batch.empty()) break;
    window_.DropInProgress = -1;
    const Programmatic quiet(programmatic_);
    c_.List1->setUpdatesEnabled(false);
    // The entries are measured for the list's extent as they come, not all at the end.
    const QFontMetrics metrics(c_.List1->font());
    for (const Found& f : batch) {
      if (listed_.count(f.path) > 0) continue;
      // The entries of one folder share one text of it.
      if (f.root != drainRoot_) {
        drainRoot_ = f.root;
        drainRootText_ = Name(f.root);
      }
      AppendEntry(f.path, drainRootText_);
      drainWidest_ = std::max(drainWidest_, metrics.horizontalAdvance(c_.List1->item(c_.List1->count() - 1)->text()));
    }
    c_.List1->setUpdatesEnabled(true);
    window_.DropInProgress = 0;
  } while (!done && clock.elapsed() < kDrainBudgetMs);

  const int count = c_.List1->count();
  if (count > before) {
    if (firstAdded_ < 0) firstAdded_ = before;
    // The count follows the reading, a few times a second (a new text lays the window out again);
    // the selection handler sets it once more when the drop ends.
    if (!countShown_.isValid() || countShown_.elapsed() >= kCountIntervalMs) {
      c_.Lb_fi->setText(QString::fromStdString(app::SignedNumberText(count)));
      countShown_.start();
    }
  }
  if (!done) return;

  drainTimer_->stop();
  if (reader_.joinable()) reader_.join();
  // The end of a drop: the last entry added is current, the selection handler shows it. Scrolling
  // to it lays out the whole list, so it waits for a turn of its own.
  if (firstAdded_ >= 0) {
    const Programmatic quiet(programmatic_);
    c_.List1->setAutoScroll(false);
    c_.List1->setCurrentRow(count - 1);
    c_.List1->setAutoScroll(true);
    QTimer::singleShot(0, this, [this] {
      if (QListWidgetItem* current = c_.List1->currentItem()) c_.List1->scrollToItem(current);
    });
  }
  preview_.List1_Click();
  if (firstAdded_ >= 0) SetListExtent(std::max(drainWidest_, ListedWidest()));
  if (!queuedDrops_.empty()) {
    const std::vector<std::string> next = std::move(queuedDrops_.front());
    queuedDrops_.pop_front();
    List1_OLEDragDrop(next);
  }
}

void FileListPanel::StopReader() {
  readerCancel_.store(true);
  if (reader_.joinable()) reader_.join();
  drainTimer_->stop();
  {
    std::lock_guard lock(foundMutex_);
    found_.clear();
    readerDone_ = false;
  }
  queuedDrops_.clear();
}

void FileListPanel::UpdateListExtent() {
  QListWidget* list = c_.List1;
  if (list->count() == 0) return;
  const QFontMetrics metrics(list->font());
  int widest = 0;
  for (int i = 0; i < list->count(); ++i) widest = std::max(widest, metrics.horizontalAdvance(list->item(i)->text()));
  SetListExtent(widest);
}

int FileListPanel::IndicatorWidth() const {
  return c_.List1->style()->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, c_.List1) + 8;
}

int FileListPanel::ListedWidest() const {
  // What an earlier measure gave, read back from the extent it set.
  if (c_.List1->count() == 0) return 0;
  return std::max(0, c_.List1->item(0)->sizeHint().width() - 20 - IndicatorWidth());
}

void FileListPanel::SetListExtent(int widest) {
  QListWidget* list = c_.List1;
  if (list->count() == 0) return;
  const QFontMetrics metrics(list->font());
  // The check box stands before the text; the extent leaves room for it and 20 pixels more.
  const int height = std::max(metrics.height(), list->style()->pixelMetric(QStyle::PM_IndicatorHeight)) + 4;
  widest = std::min(widest, kWidestEntry);
  const Programmatic quiet(programmatic_);
  list->item(0)->setSizeHint(QSize(widest + 20 + IndicatorWidth(), height));
}

std::vector<production::BatchEntry> FileListPanel::Entries() const {
  std::vector<production::BatchEntry> entries;
  entries.reserve(static_cast<std::size_t>(c_.List1->count()));
  for (int i = 0; i < c_.List1->count(); ++i) {
    const QListWidgetItem* item = c_.List1->item(i);
    entries.push_back({Bytes(item->text()), item->checkState() == Qt::Checked,
                       i < c_.List2->count() ? c_.List2->item(i)->text().toStdString() : std::string(),
                       Bytes(item->data(kRootRole).toString())});
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
    listed_.erase(Bytes(c_.List1->item(preview_.CurrentIndex)->text()));
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
  // A folder still being read is given up with the list.
  StopReader();
  preview_.ReleaseVideo();
  {
    const Programmatic quiet(programmatic_);
    c_.List1->clear();
    c_.List2->clear();
    listed_.clear();
  }
  preview_.ShowStillInfo(false);
  preview_.EnablePlayer(false);
  preview_.List1_Click();
}

void FileListPanel::Bt_Expl_Click() { shell_.OpenUrl(QUrl::fromLocalFile(QStringLiteral(u"/"))); }

}  // namespace mirelo::filelist
