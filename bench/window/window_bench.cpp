// The desktop window under load, on the offscreen platform (or a real display):
//   window_bench CORPUS_JPG_DIR CLIP_720P MIRELO_BATCH [RUNS]
// - a batch over the corpus from the window against mirelo-batch on the same files and settings,
//   and the longest time the window's event loop did not answer during the window's run;
// - browsing the 40 photos: the decoder's floor, a click on a picture not decoded ahead, stepping
//   forward (click to painted preview) and key repeat through the list (the event loop's longest
//   stall);
// - opening a 720p clip until its first frame is painted;
// - a drop of 10,000 files, a run over those entries (peak memory), and the error log window
//   with 10,000 lines (appending at the end as cheap as at the start).
// Figures go to standard output as "name value unit" lines.

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProcess>
#include <QSignalSpy>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <ctime>
#include <memory>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/log_buffer.h"
#include "app/settings_store.h"
#include "app/utilities.h"
#include "app/window/image_view.h"
#include "app/window/main_controls.h"
#include "platform/imaging/imaging_control.h"
#include "app/window/main_window.h"
#include "dialogs/log_window.h"
#include "filelist/batch_panel.h"
#include "filelist/file_list_panel.h"
#include "filelist/preview_panel.h"
#include "platform/shell/shell.h"
#include "platform/video/mpv_player.h"

namespace fs = std::filesystem;

namespace {

class SilentShell final : public mirelo::shell::Shell {
 public:
  void ShowError(QWidget*, const QString&) override {}
  void ShowMessage(QWidget*, const QString&) override {}
  void ShowTitledMessage(QWidget*, const QString&, const QString&) override {}
  bool AskYesNo(QWidget*, const QString&) override { return true; }
  std::optional<QString> GetSaveFileName(QWidget*, const QString&) override { return std::nullopt; }
  std::optional<QString> GetOpenFileName(QWidget*, const QString&, const QString&) override { return std::nullopt; }
  QString PickFolder(QWidget*, const QString&, const QString&) override { return QString(); }
  void Beep() override {}
  void OpenUrl(const QUrl&) override {}
};

struct Window {
  fs::path appDir;
  SilentShell shell;
  mirelo::app::LogBuffer log;
  std::unique_ptr<mirelo::window::MainWindow> window;

  Window(const fs::path& dir, const fs::path& outputs) : appDir(dir) {
    fs::create_directories(dir);
    const fs::path ini = dir / "thumb.ini";
    mirelo::app::CreateSettingsFile(ini, 0, 0);
    for (auto [key, section, value] : {std::tuple{"Mode", "Output", std::string("1")},
                                       {"Path", "Output", outputs.string()},
                                       {"Mode", "FileName", std::string("0")},
                                       {"Fit", "Thumbnail", std::string("1")},
                                       {"Mode", "Image", std::string("0")},
                                       {"Quality", "Image", std::string("75")}}) {
      mirelo::app::WriteIni(value, key, section, ini);
    }
    mirelo::window::MainWindowContext context;
    context.appDir = dir;
    context.shell = &shell;
    context.log = &log;
    context.endProcess = [] {};
    context.silentPlayer = true;
    window = std::make_unique<mirelo::window::MainWindow>(std::move(context));
    window->Form_Load();
    window->show();
    const auto& c = window->Controls();
    c.SizeWidth->setText(QStringLiteral(u"160"));
    c.SizeHeight->setText(QStringLiteral(u"120"));
  }
};

// Notes when the watched view is painted with a picture.
class PaintWatch final : public QObject {
 public:
  explicit PaintWatch(mirelo::window::ImageView& view) : view_(view) { view.installEventFilter(this); }
  bool painted = false;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched == &view_ && event->type() == QEvent::Paint && view_.HasImage()) painted = true;
    return false;
  }

 private:
  mirelo::window::ImageView& view_;
};

// The event loop's longest stall: the longest time between two ticks of a 5 ms timer, and the
// CPU time this thread spent in the longest such gap (the part the window's own code takes; the
// rest is the thread waiting for a core on a busy machine).
class StallMeter {
 public:
  StallMeter() {
    ticker_.setInterval(5);
    QObject::connect(&ticker_, &QTimer::timeout, [this] { Tick(); });
    wall_.start();
    cpu_ = ThreadCpuMs();
    ticker_.start();
  }
  double longest = 0;     // ms
  double longestCpu = 0;  // ms

 private:
  static double ThreadCpuMs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
  }
  void Tick() {
    const double gap = wall_.nsecsElapsed() / 1e6;
    const double cpu = ThreadCpuMs();
    longest = std::max(longest, gap);
    longestCpu = std::max(longestCpu, cpu - cpu_);
    wall_.restart();
    cpu_ = cpu;
  }
  QTimer ticker_;
  QElapsedTimer wall_;
  double cpu_ = 0;
};

double PeakMegabytes() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmHWM:", 0) == 0) return std::stod(line.substr(6)) / 1024.0;
  }
  return 0;
}

void Report(const char* name, double value, const char* unit) {
  std::printf("%s %.3f %s\n", name, value, unit);
  std::fflush(stdout);
}

std::vector<std::string> Files(const fs::path& folder, const std::string& extension) {
  std::vector<std::string> files;
  for (const auto& entry : fs::directory_iterator(folder)) {
    if (entry.path().extension() == extension) files.push_back(entry.path().string());
  }
  std::sort(files.begin(), files.end());
  return files;
}

// Runs the window's batch; returns wall seconds and sets the longest event-loop stall.
double WindowRun(Window& w, double& longestStallMs) {
  QElapsedTimer sinceTick;
  longestStallMs = 0;
  QTimer ticker;
  ticker.setInterval(5);
  QObject::connect(&ticker, &QTimer::timeout, [&] {
    longestStallMs = std::max(longestStallMs, sinceTick.nsecsElapsed() / 1e6);
    sinceTick.restart();
  });
  QSignalSpy ended(&w.window->Batch(), &mirelo::filelist::BatchPanel::runEnded);
  QElapsedTimer wall;
  wall.start();
  sinceTick.start();
  ticker.start();
  w.window->Batch().Bt_Go_Click();
  ended.wait(600000);
  ticker.stop();
  return wall.nsecsElapsed() / 1e9;
}

double CliRun(const std::string& batch, const fs::path& config, const fs::path& out, const std::vector<std::string>& files) {
  QStringList args = {QStringLiteral(u"--config"), QString::fromStdString(config.string()), QStringLiteral(u"--quiet"),
                      QStringLiteral(u"--size"), QStringLiteral(u"160x120"), QStringLiteral(u"--set"),
                      QString::fromStdString("Output/Path=" + out.string())};
  for (const auto& f : files) args << QString::fromStdString(f);
  QProcess process;
  process.setStandardOutputFile(QProcess::nullDevice());
  QElapsedTimer wall;
  wall.start();
  process.start(QString::fromStdString(batch), args);
  process.waitForFinished(-1);
  return wall.nsecsElapsed() / 1e9;
}

void Clear(const fs::path& folder) {
  fs::remove_all(folder);
  fs::create_directories(folder);
}

double ResidentMegabytes() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmRSS:", 0) == 0) return std::stod(line.substr(6)) / 1024.0;
  }
  return 0;
}

// window_bench --folder-drop PICTURE FOLDERS FILES_PER_FOLDER: a tree of hard links to PICTURE
// dropped with FolderDrop on; the time until the count is final, the event loop's longest stall
// meanwhile, and the memory the listed entries take.
int FolderDrop(const fs::path& picture, int folders, int perFolder) {
  const fs::path work = fs::temp_directory_path() / ("mirelo-folder-bench-" + std::to_string(::getpid()));
  const fs::path tree = work / "tree";
  fs::path source;
  for (int f = 0; f < folders; ++f) {
    const fs::path year = tree / ("year" + std::to_string(f / 100));
    const fs::path folder = year / ("event_" + std::to_string(f));
    fs::create_directories(folder);
    // A copy per year: a file takes only so many links.
    if (f % 100 == 0) fs::copy_file(picture, source = work / ("picture" + std::to_string(f) + ".jpg"));
    for (int i = 0; i < perFolder; ++i) fs::create_hard_link(source, folder / ("IMG_" + std::to_string(i) + ".JPG"));
  }
  {
    Window w(work / "app", work / "out");
    w.window->Settings().FolderDrop = 1;
    for (int i = 0; i < 20; ++i) QCoreApplication::processEvents();
    const double before = ResidentMegabytes();
    auto meter = std::make_unique<StallMeter>();
    QElapsedTimer timer;
    timer.start();
    w.window->FileList().List1_OLEDragDrop({tree.string()});
    while (w.window->FileList().Reading()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    const double seconds = timer.nsecsElapsed() / 1e9;
    // The drop's last turn and what it left for later (the scroll to the last entry) are counted.
    QElapsedTimer after;
    after.start();
    while (after.elapsed() < 500) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    const double stall = meter->longest, stallCpu = meter->longestCpu;
    meter.reset();
    const auto count = w.window->Controls().List1->count();
    Report("folder_drop_entries", count, "entries");
    Report("folder_drop_until_count_final", seconds, "s");
    Report("folder_drop_longest_stall", stall, "ms");
    Report("folder_drop_longest_stall_cpu", stallCpu, "ms");
    Report("folder_drop_memory_of_entries", ResidentMegabytes() - before, "MB");
    Report("folder_drop_resident", ResidentMegabytes(), "MB");
  }
  fs::remove_all(work);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 5 && std::string(argv[1]) == "--folder-drop") {
    QApplication app(argc, argv);
    mirelo::window::ApplyDesktopFont();
    return FolderDrop(argv[2], std::atoi(argv[3]), std::atoi(argv[4]));
  }
  if (argc < 4) {
    std::fprintf(stderr, "usage: window_bench CORPUS_JPG_DIR CLIP_720P MIRELO_BATCH [RUNS]\n");
    return 2;
  }
  QApplication app(argc, argv);
  mirelo::window::ApplyDesktopFont();
  const fs::path corpus = argv[1];
  const fs::path clip = argv[2];
  const std::string batch = argv[3];
  const int runs = argc > 4 ? std::atoi(argv[4]) : 3;
  const fs::path work = fs::temp_directory_path() / ("mirelo-window-bench-" + std::to_string(::getpid()));
  const fs::path outWindow = work / "out-window";
  const fs::path outCli = work / "out-cli";
  fs::create_directories(outWindow);
  fs::create_directories(outCli);
  const std::vector<std::string> jpegs = Files(corpus, ".jpg");

  {
    Window w(work / "app", outWindow);
    w.window->FileList().List1_OLEDragDrop(jpegs);
    std::vector<double> windowTimes, cliTimes, stalls, bareTimes;
    for (int run = 0; run < runs; ++run) {
      Clear(outWindow);
      double stall = 0;
      windowTimes.push_back(WindowRun(w, stall));
      stalls.push_back(stall);
      // The same run without the pictures handed to LEAD1 (a box of no size asks for none).
      Clear(outWindow);
      auto* lead1 = w.window->Controls().LEAD1;
      const QSize size = lead1->size();
      lead1->resize(0, 0);
      double bareStall = 0;
      bareTimes.push_back(WindowRun(w, bareStall));
      lead1->resize(size);
      Clear(outCli);
      cliTimes.push_back(CliRun(batch, work / "app", outCli, jpegs));
    }
    auto median = [](std::vector<double> v) {
      std::sort(v.begin(), v.end());
      return v[v.size() / 2];
    };
    // RUNS 0: the browsing and the other parts only.
    if (runs > 0) {
      Report("batch_window_seconds", median(windowTimes), "s");
      Report("batch_cli_seconds", median(cliTimes), "s");
      Report("batch_window_over_cli", median(windowTimes) / median(cliTimes), "ratio");
      Report("batch_window_without_pictures_seconds", median(bareTimes), "s");
      Report("event_loop_longest_stall", *std::max_element(stalls.begin(), stalls.end()), "ms");
    }

    // The machine's own noise: the longest stall of the idle event loop over three seconds.
    {
      StallMeter meter;
      QElapsedTimer idle;
      idle.start();
      while (idle.elapsed() < 3000) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
      Report("idle_longest_stall", meter.longest, "ms");
    }

    // Browsing the photos (the 40 entries of the list, in list order).
    const auto& c = w.window->Controls();
    PaintWatch watch(*c.LEAD1);
    auto& preview = w.window->Preview();
    const auto settle = [&] {
      QCoreApplication::processEvents();  // a click the list has queued starts its decode
      while (preview.StillsBusy()) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
      }
      QCoreApplication::processEvents();
    };
    // A row made current as a key press does, until LEAD1 is painted with its picture.
    const auto clickToPaint = [&](int row) {
      watch.painted = false;
      QElapsedTimer timer;
      timer.start();
      c.List1->setCurrentRow(row);
      while (!watch.painted && timer.elapsed() < 10000) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
      return timer.nsecsElapsed() / 1e6;
    };

    // A held arrow key (one step every 40 ms) from the first photo to the 31st, before anything
    // there was decoded: the longest time the event loop did not answer, and the time from the
    // last step to the painted preview.
    {
      c.List1->setCurrentRow(0);
      settle();
      constexpr int kLastKeyRow = 30;
      auto meter = std::make_unique<StallMeter>();
      int row = 0;
      // Just before each step: the entry's own picture shown (its size in the label), or any
      // picture in the box.
      int ownPicture = 0, anyPicture = 0;
      QTimer key;
      key.setInterval(40);
      QObject::connect(&key, &QTimer::timeout, [&] {
        if (row > 0 && row <= kLastKeyRow) {
          ownPicture += !c.Lb_s_size->text().isEmpty();
          anyPicture += c.LEAD1->HasImage();
        }
        if (++row <= kLastKeyRow) c.List1->setCurrentRow(row);
      });
      key.start();
      while (row < kLastKeyRow) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
      key.stop();
      QElapsedTimer tail;
      tail.start();
      watch.painted = false;
      settle();
      while (!watch.painted && tail.elapsed() < 10000) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
      Report("key_repeat_40_photos_longest_stall", meter->longest, "ms");
      Report("key_repeat_40_photos_longest_stall_cpu", meter->longestCpu, "ms");
      Report("key_repeat_steps_showing_their_own_photo", ownPicture, "of 30");
      Report("key_repeat_steps_with_a_picture", anyPicture, "of 30");
      meter.reset();
      Report("key_repeat_release_to_paint", tail.nsecsElapsed() / 1e6, "ms");
    }

    // The decoder's floor: the pictures of the first clicks below decoded at the preview's box on
    // this thread, as the click did before the decode left the window's thread.
    const std::vector<int> farRows = {20, 3, 33, 11, 27};
    const QSize box = preview.StillBox();
    std::vector<double> floors;
    for (int row : farRows) {
      QElapsedTimer timer;
      timer.start();
      mirelo::imaging::ImagingControl control;
      mirelo::imaging::LoadOptions options;
      options.minimumSize = [box](mirelo::imaging::Size full) {
        const double scale = std::min({1.0, double(box.width()) / full.width, double(box.height()) / full.height});
        return mirelo::imaging::Size{std::max(1, int(std::ceil(full.width * scale))),
                                     std::max(1, int(std::ceil(full.height * scale)))};
      };
      control.Load(jpegs[static_cast<std::size_t>(row)], options);
      floors.push_back(timer.nsecsElapsed() / 1e6);
    }
    Report("still_decode_floor", median(floors), "ms");

    // A click on a picture nobody decoded ahead: far from the current entry, the window idle.
    std::vector<double> firsts;
    for (int row : farRows) {
      settle();
      firsts.push_back(clickToPaint(row));
    }
    settle();
    Report("first_click_not_decoded_ahead", median(firsts), "ms");

    // Stepping forward through the list, a photo every `dwell` ms: click to painted preview, and
    // the longest time the event loop did not answer meanwhile.
    for (int dwell : {400, 150}) {
      c.List1->setCurrentRow(0);
      settle();
      auto meter = std::make_unique<StallMeter>();
      std::vector<double> steps;
      for (int row = 1; row < static_cast<int>(jpegs.size()); ++row) {
        QElapsedTimer step;
        step.start();
        steps.push_back(clickToPaint(row));
        while (step.elapsed() < dwell) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
      }
      const double stall = meter->longest, stallCpu = meter->longestCpu;
      meter.reset();
      const std::string name = "step_forward_" + std::to_string(dwell) + "ms";
      Report((name + "_click_to_paint_median").c_str(), median(steps), "ms");
      Report((name + "_click_to_paint_max").c_str(), *std::max_element(steps.begin(), steps.end()), "ms");
      for (std::size_t i = 0; i < steps.size(); ++i) {
        if (steps[i] > 60) std::fprintf(stderr, "%s: step to row %zu took %.0f ms\n", name.c_str(), i + 1, steps[i]);
      }
      Report((name + "_longest_stall").c_str(), stall, "ms");
      Report((name + "_longest_stall_cpu").c_str(), stallCpu, "ms");
    }

    Report("browse_peak_memory", PeakMegabytes(), "MB");

    // A clip: the click until its first frame is painted.
    w.window->FileList().List1_OLEDragDrop({clip.string()});
    const int clipIndex = w.window->Controls().List1->count() - 1;
    std::vector<double> opens;
    for (int run = 0; run < 5; ++run) {
      w.window->FileList().SetCurrent(0);
      w.window->Preview().List1_Click();
      QSignalSpy shown(&w.window->Preview(), &mirelo::filelist::PreviewPanel::frameShown);
      w.window->FileList().SetCurrent(clipIndex);
      QElapsedTimer timer;
      timer.start();
      w.window->Preview().List1_Click();
      shown.wait(10000);
      opens.push_back(timer.nsecsElapsed() / 1e6);
    }
    Report("clip_open_first_frame", median(opens), "ms");
  }

  {
    // 10,000 small pictures: the drop, a run over them, and the memory it takes.
    const fs::path many = work / "many";
    fs::create_directories(many);
    const fs::path seed = many / "seed.jpg";
    fs::copy_file(jpegs.front(), seed);
    QProcess::execute(QStringLiteral(u"convert"), {QString::fromStdString(seed.string()), QStringLiteral(u"-resize"),
                                                    QStringLiteral(u"64x48"), QString::fromStdString(seed.string())});
    std::vector<std::string> paths;
    for (int i = 0; i < 10000; ++i) {
      const fs::path p = many / ("p" + std::to_string(i) + ".jpg");
      fs::create_hard_link(seed, p);
      paths.push_back(p.string());
    }
    Window w(work / "app-many", outWindow);
    Clear(outWindow);
    // The peak below is this part's own: the earlier parts' peak is forgotten.
    std::ofstream("/proc/self/clear_refs") << "5";
    QElapsedTimer timer;
    timer.start();
    w.window->FileList().List1_OLEDragDrop(paths);
    QCoreApplication::processEvents();
    Report("drop_10000_files", timer.nsecsElapsed() / 1e6, "ms");
    double stall = 0;
    Report("run_10000_entries", WindowRun(w, stall), "s");
    Report("run_10000_longest_stall", stall, "ms");
    Report("run_10000_peak_memory", PeakMegabytes(), "MB");
    {
      // The same run without the pictures handed to LEAD1 (a box of no size asks for none).
      Clear(outWindow);
      auto* lead1 = w.window->Controls().LEAD1;
      const QSize size = lead1->size();
      lead1->resize(0, 0);
      std::ofstream("/proc/self/clear_refs") << "5";
      double bareStall = 0;
      Report("run_10000_without_pictures", WindowRun(w, bareStall), "s");
      Report("run_10000_without_pictures_peak_memory", PeakMegabytes(), "MB");
      lead1->resize(size);
    }

    // The error log window with 10,000 lines: the cost of 1,000 appends at the start and at the end.
    w.window->LogWindow()->show();
    auto appendThousand = [&] {
      QElapsedTimer t;
      t.start();
      for (int i = 0; i < 1000; ++i) {
        w.log.Append(paths[static_cast<std::size_t>(i)] + "\r\n→ERROR:ファイルを読み込めません。");
        if (i % 50 == 0) QCoreApplication::processEvents();
      }
      QCoreApplication::processEvents();
      return t.nsecsElapsed() / 1e6;
    };
    const double first = appendThousand();
    for (int i = 0; i < 8; ++i) appendThousand();
    const double last = appendThousand();
    Report("log_1000_appends_first", first, "ms");
    Report("log_1000_appends_at_10000", last, "ms");
  }
  fs::remove_all(work);
  return 0;
}
