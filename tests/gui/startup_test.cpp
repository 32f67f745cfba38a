// Start-up of the main window: first start in an empty folder, a prepared thumb.ini (and its
// failure cases), the single-instance guard, and the designed controls.

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QScreen>
#include <QSlider>
#include <QTimer>
#include <QtTest>
#include <optional>
#include <sys/stat.h>

#include "app/settings_store.h"
#include "app/size_presets.h"
#include "app/utilities.h"
#include "app/window/fitting_text.h"
#include "app/window/image_view.h"
#include "app/window/main_window.h"
#include "app/window/window_settings_sink.h"
#include "platform/error.h"
#include "platform/shell/single_instance.h"
#include "window_harness.h"

using mirelo::testing::ReadBytes;
using mirelo::testing::WindowHarness;
using mirelo::testing::WriteBytes;

namespace {

struct IniEdit {
  const char* section;
  const char* key;
  std::optional<std::string> value;  // nullopt removes the key
};

void Apply(const std::filesystem::path& ini, const std::vector<IniEdit>& edits) {
  for (const IniEdit& e : edits) {
    if (e.value) {
      mirelo::app::WriteIni(std::string_view(*e.value), std::string_view(e.key), e.section, ini);
    } else {
      mirelo::app::WriteIni(std::nullopt, std::string_view(e.key), e.section, ini);
    }
  }
}

long long ModifiedNs(const std::filesystem::path& p) {
  struct stat st {};
  ::stat(p.c_str(), &st);
  return static_cast<long long>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec;
}

}  // namespace

Q_DECLARE_METATYPE(std::vector<IniEdit>)

class StartupTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() { mirelo::window::ApplyDesktopFont(); }

  void firstStartInAnEmptyFolder() {
    WindowHarness h;
    auto& w = h.Make();
    QVERIFY(w.Form_Load());
    const auto& c = w.Controls();

    // Both files, created with the core's defaults for the centred window.
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    const QPoint centred((screen.width() - w.frameGeometry().width()) / 2,
                         (screen.height() - w.frameGeometry().height()) / 2);
    QCOMPARE(w.pos(), centred);
    QTemporaryDir reference;
    const std::filesystem::path ref(reference.path().toStdString());
    QVERIFY(mirelo::app::CreateSizeFile(ref / "size.ini"));
    QVERIFY(mirelo::app::CreateSettingsFile(ref / "thumb.ini", centred.y() * 15, centred.x() * 15));
    QCOMPARE(ReadBytes(h.sizeIni()), ReadBytes(ref / "size.ini"));
    QCOMPARE(ReadBytes(h.thumbIni()), ReadBytes(ref / "thumb.ini"));
    QVERIFY(ReadBytes(h.thumbIni()).starts_with(";\x83\x7e\x83\x8c\x83\x8d\r\n;\x96\x7b\x91\xcc\x97\x70\r\n\r\n"));
    QVERIFY(ReadBytes(h.sizeIni()).starts_with(";\x83\x7e\x83\x8c\x83\x8d\r\n;\x83\x54\x83\x43\x83\x59\x97\x70\r\n\r\n"));
    QVERIFY(ModifiedNs(h.sizeIni()) <= ModifiedNs(h.thumbIni()));
    QCOMPARE(mirelo::app::ReadIni("Top", "Location", h.thumbIni()), std::to_string(centred.y() * 15));

    // The controls of a first start.
    QCOMPARE(c.CbSize->count(), 7);
    QCOMPARE(c.CbSize->currentIndex(), 0);
    QCOMPARE(c.CbSize->currentText(), QStringLiteral(u"元画像と同じ"));
    QCOMPARE(c.SizeWidth->text(), QStringLiteral(u"0"));
    QCOMPARE(c.SizeHeight->text(), QStringLiteral(u"0"));
    QVERIFY(!c.SizeWidth->isEnabled() && !c.SizeHeight->isEnabled());
    QVERIFY(!c.Lb_WakuX->isEnabled() && !c.Lb_WakuY->isEnabled());
    QCOMPARE(c.CbFormat->currentIndex(), 0);
    QCOMPARE(c.SL_Q->value(), 100);
    QCOMPARE(c.Lb_Q->text(), QStringLiteral(u" 100%"));
    QVERIFY(c.OpThumbOut1->isChecked());
    QVERIFY(c.OpThumbWaku1->isChecked());
    QCOMPARE(c.CbFName->currentIndex(), 1);
    QCOMPARE(c.FNameStr->text(), QStringLiteral(u"_thum"));
    QCOMPARE(w.Settings().NameText, std::optional<std::string>("_thum"));
    QCOMPARE(w.windowTitle(), QStringLiteral(u"ミレロ V.1.10"));
    QVERIFY(!c.M_Help_Log->isChecked());
    QVERIFY(h.shell.errors.isEmpty());
    QCOMPARE(h.shell.beeps, 0);
  }

  void designedControls() {
    WindowHarness h;
    auto& w = h.Start();
    const auto& c = w.Controls();
    // Captions with their full- and half-width characters exactly as designed.
    const QList<QPair<const char16_t*, const char16_t*>> captions = {
        {u"Lb_Name1", u"●処理したいファイルを、エクスプローラでドラッグ＆ドロップして下さい。"},
        {u"Bt_Expl", u"ｴｸｽﾌﾟﾛｰﾗ"}, {u"Lb_Name2", u"ファイル数："}, {u"Lb_fi", u"0"},
        {u"Bt_Del", u"削除"}, {u"Bt_All_Del", u"全削除"}, {u"Label2", u"■Size："}, {u"Label4", u"■Size："},
        {u"V_Stop", u"■"}, {u"V_Play", u"▼"}, {u"V_PR", u"|▲▲"}, {u"V_Pause", u"ll"}, {u"V_PF", u"▼▼|"},
        {u"Chk_Mute", u"ミュート"}, {u"Bt_Select", u"シーン決定"}, {u"OpThumbWaku1", u"枠なし"},
        {u"OpThumbWaku2", u"枠付き"}, {u"Bt_SizeSave", u"保存"}, {u"Bt_SizeDel", u"削除"},
        {u"Lb_WakuX", u"横："}, {u"Lb_WakuY", u"縦："}, {u"Lb_SWaku", u"静止画："}, {u"Bt_SWaku", u"…"},
        {u"Lb_VWaku", u"動　画："}, {u"Bt_VWaku", u"…"}, {u"Bt_Waku_Save", u"保存"}, {u"Lb_Name3", u"画質："},
        {u"OpThumbOut2", u"フォルダを指定する"}, {u"Bt_V_Out", u"…"}, {u"OpThumbOut1", u"元のファイルと同じにする"},
        {u"Lb_SaveFile", u"文字列："}, {u"Bt_Save", u"設定の保存"}, {u"Bt_Cancel", u"キャンセル"},
        {u"Bt_Go", u"処理の開始"}, {u"Bt_End", u"終了"}};
    for (const auto& [name, caption] : captions) {
      QObject* o = w.findChild<QObject*>(QString::fromUtf16(name));
      QVERIFY2(o, qPrintable(QString::fromUtf16(name)));
      QCOMPARE(o->property("text").toString(), QString::fromUtf16(caption));
    }
    const QList<QPair<QGroupBox*, const char16_t*>> frames = {
        {c.Still_Frame, u"静止画"}, {c.Video_Frame, u"動　画"}, {c.Fr_Set, u"■出力設定"},
        {c.Frame5, u"■画像の設定"}, {c.Frame8, u"■画像フォーマット"}, {c.Frame4, u"■出力フォルダ"},
        {c.Frame7, u"■ファイル名"}};
    for (const auto& [frame, caption] : frames) QCOMPARE(frame->title(), QString::fromUtf16(caption));
    // The other windows' controls do not shadow frmMain's names.
    w.Controls().M_Help_Version->trigger();
    QCOMPARE(w.findChildren<QObject*>(QStringLiteral(u"Bt_Save")).size(), 1);
    QCOMPARE(w.findChildren<QObject*>(QStringLiteral(u"Line1")).size(), 1);

    // Positions in twips / 15, relative to their containers.
    QCOMPARE(w.centralWidget()->size(), QSize(792, 546));
    QCOMPARE(c.List1->geometry(), QRect(8, 24, 377, 186));
    QCOMPARE(c.Fr_Set->geometry(), QRect(8, 216, 449, 321));
    QCOMPARE(c.Frame5->parentWidget(), c.Fr_Set);
    QCOMPARE(c.CbSize->geometry(), QRect(8, 34, 113, 20));
    QCOMPARE(c.SizeHeight->geometry(), QRect(136, 64, 49, 18));
    QCOMPARE(c.FNameStr->parentWidget(), c.Frame7);
    QCOMPARE(c.FNameStr->geometry(), QRect(368, 16, 57, 18));
    QCOMPARE(c.V_PF->parentWidget(), c.Video_Frame);
    QCOMPARE(c.V_PF->pos(), QPoint(168, 176));
    QCOMPARE(c.Bt_End->geometry(), QRect(712, 496, 73, 41));

    // Lists and initial states of the later subsystems' controls.
    QCOMPARE(c.CbFormat->count(), 8);
    QCOMPARE(c.CbFormat->itemText(7), QStringLiteral(u"WEBP　Google WebP"));
    QCOMPARE(c.CbFormat->itemText(3), QStringLiteral(u"GIF　8bit：ﾊﾟﾚｯﾄ-Windowsシステム"));
    QCOMPARE(c.CbFormat->itemText(6), QStringLiteral(u"BMP　Windows Bitmap"));
    QVERIFY(!c.CbFormat->isEditable());
    QCOMPARE(c.CbFName->count(), 3);
    QCOMPARE(c.CbFName->itemText(2), QStringLiteral(u"元画像のファイル名の後ろに「文字列」を加える"));
    QVERIFY(c.CbSize->isEditable());
    QVERIFY(c.List2->isHidden());
    QVERIFY(!c.Bt_Go->isEnabled() && !c.Bt_Cancel->isEnabled() && c.Bt_Save->isEnabled());
    for (QWidget* player : {static_cast<QWidget*>(c.V_Play), static_cast<QWidget*>(c.SL1),
                            static_cast<QWidget*>(c.Chk_Mute), static_cast<QWidget*>(c.Bt_Select)}) {
      QVERIFY(!player->isEnabled());
    }
    QVERIFY(!c.Bt_SWaku->isEnabled() && !c.LEAD3->isEnabled() && !c.Bt_Waku_Save->isEnabled());
    QVERIFY(!c.Lb_Out->isEnabled());
    QCOMPARE(c.Timer1->interval(), 1000);
    QVERIFY(!c.Timer1->isActive());
    QCOMPARE(c.SL_Q->singleStep(), 5);
    QCOMPARE(c.SL_Q->pageStep(), 10);

    // Menus in their order, with separators and the check item.
    QCOMPARE(c.M_File->actions(), QList<QAction*>({c.M_File_End}));
    QCOMPARE(c.M_Help_Display->actions(),
             QList<QAction*>({c.M_Help_Log, c.M_Help_SelectFailed, c.M_Help_Line1, c.M_Help_Option}));
    QCOMPARE(c.M_Help_SelectFailed->text(), QStringLiteral(u"失敗したファイルだけを選択"));
    QVERIFY(!c.M_Help_SelectFailed->isEnabled());  // no run has failed yet
    QCOMPARE(c.M_Help->actions(), QList<QAction*>({c.M_Help_HomePage, c.M_Help_Line2, c.M_Help_Mokuji,
                                                   c.M_Help_Line3, c.M_Help_Version}));
    QVERIFY(c.M_Help_Line2->isSeparator() && c.M_Help_Log->isCheckable());
    QCOMPARE(c.M_Help_Log->text(), QStringLiteral(u"エラーログの表示(&L)"));
    QCOMPARE(c.M_Help_Mokuji->text(), QStringLiteral(u"ヘルプ(&H)"));
    QCOMPARE(c.M_Help_Display->title(), QStringLiteral(u"表示(&D)"));
  }

  // Every control of the design: kind, container, place in twips, shown or hidden. A label and the
  // naming rule box may be wider than designed (their text is given the room it needs), never
  // narrower or elsewhere.
  void longTextsStayReadableInTheDesignedSizes() {
    QFont font(QStringLiteral(u"IPAGothic"));
    font.setPixelSize(12);
    const QFontMetrics metrics(font);
    // Closed format box: the entries that do not fit lose the detail they share, not their end.
    const QString gif = QStringLiteral(u"GIF　8bit：ﾊﾟﾚｯﾄ-Windowsシステム");
    QCOMPARE(mirelo::window::FitEntry(gif, metrics, 180), QStringLiteral(u"GIF　…ﾊﾟﾚｯﾄ-Windowsシステム"));
    QCOMPARE(mirelo::window::FitEntry(gif, metrics, 400), gif);
    const QString webp = QStringLiteral(u"WEBP　Google WebP");
    QCOMPARE(mirelo::window::FitEntry(webp, metrics, 180), webp);
    QCOMPARE(mirelo::window::FitEntry(gif, metrics, 60), metrics.elidedText(gif, Qt::ElideRight, 60));

    // Output folder: broken after separators only, middle folders left out, the last ones kept.
    struct Row {
      QString path;
      int lines;
      QString end;
    };
    for (const Row& r : {Row{QStringLiteral(u"/home/u/pics"), 2, QStringLiteral(u"/home/u/pics")},
                         Row{QStringLiteral(u"/home/someone/Pictures/holiday/thumbs"), 2, QStringLiteral(u"holiday/thumbs")},
                         Row{QStringLiteral(u"/srv/写真/2026年/夏休み/サムネイル/"), 2, QStringLiteral(u"サムネイル/")},
                         Row{QStringLiteral(u"/a/b/c/d/e/f/g/h/i/j/k/l/m/n/o/p/q/r/s/t/u/v/w/x/y/z/last"), 1,
                             QStringLiteral(u"/last")}}) {
      const QStringList lines = mirelo::window::FitPath(r.path, metrics, 96, r.lines);
      QVERIFY2(!lines.isEmpty() && lines.size() <= r.lines, qPrintable(r.path));
      for (qsizetype i = 0; i < lines.size(); ++i) {
        QVERIFY2(metrics.horizontalAdvance(lines[i]) <= 96, qPrintable(lines[i]));
        if (i + 1 < lines.size()) QVERIFY2(lines[i].endsWith(u'/'), qPrintable(lines[i]));
      }
      const QString shown = lines.join(QString());
      QVERIFY2(shown.endsWith(r.end), qPrintable(shown));
      QVERIFY2(shown == r.path || shown.contains(QStringLiteral(u"…/")), qPrintable(shown));
    }

    // In the window: the shortened entry and folder carry the whole text as a tool tip, and the
    // label still holds the whole folder.
    WindowHarness h;
    auto& w = h.Start();
    const auto& c = w.Controls();
    c.CbFormat->setCurrentIndex(3);
    c.CbFormat->grab();
    QCOMPARE(c.CbFormat->toolTip(), gif);
    c.CbFormat->setCurrentIndex(0);
    c.CbFormat->grab();
    QCOMPARE(c.CbFormat->toolTip(), QString());
    const QString folder = QStringLiteral(
        u"/home/someone/Pictures/2026/holiday-in-the-mountains/second-week/by-the-lake/evening/"
        u"camera-two/exported-for-the-family-album/thumbnails/large/");
    c.Lb_Out->setText(folder);
    c.Lb_Out->grab();
    QCOMPARE(c.Lb_Out->text(), folder);
    QCOMPARE(c.Lb_Out->toolTip(), folder);
  }

  void everyControlAtItsDesignPlace() {
    struct Row {
      const char* name;
      const char* kind;
      const char* container;
      int left, top, width, height;
    };
    static const Row rows[] = {
        {"Lb_Name1", "QLabel", "client", 120, 120, 6975, 255},
        {"List1", "QListWidget", "client", 120, 360, 5655, 2790},
        {"Bt_Expl", "QPushButton", "client", 5880, 480, 975, 375},
        {"Lb_Name2", "QLabel", "client", 5880, 1080, 975, 255},
        {"Lb_fi", "QLabel", "client", 6000, 1320, 855, 255},
        {"Bt_Del", "QPushButton", "client", 5880, 2280, 975, 375},
        {"Bt_All_Del", "QPushButton", "client", 5880, 2760, 975, 375},
        {"List2", "QListWidget", "client", 8880, 0, 1935, 420},
        {"Picture1", "QFrame", "client", 7680, 0, 855, 375},
        {"LEAD1", "mirelo::window::ImageView", "client", 7080, 840, 3015, 2250},
        {"Still_Frame", "QGroupBox", "client", 6960, 480, 4815, 2775},
        {"Label2", "QLabel", "Still_Frame", 3240, 360, 1215, 255},
        {"Lb_s_size", "QLabel", "Still_Frame", 3240, 600, 1455, 375},
        {"LEAD11", "mirelo::window::ImageView", "Still_Frame", 3240, 840, 1335, 735},
        {"LEAD12", "mirelo::window::ImageView", "Still_Frame", 3240, 1800, 1455, 855},
        {"Video_Frame", "QGroupBox", "client", 6960, 3360, 4815, 3615},
        {"Shape1", "QFrame", "Video_Frame", 120, 240, 3000, 2250},
        {"Label4", "QLabel", "Video_Frame", 3240, 240, 1215, 255},
        {"Lb_v_size", "QLabel", "Video_Frame", 3240, 480, 1455, 375},
        {"V_Stop", "QPushButton", "Video_Frame", 120, 2640, 610, 255},
        {"V_Play", "QPushButton", "Video_Frame", 720, 2640, 610, 255},
        {"V_PR", "QPushButton", "Video_Frame", 1320, 2640, 610, 255},
        {"V_Pause", "QPushButton", "Video_Frame", 1920, 2640, 610, 255},
        {"V_PF", "QPushButton", "Video_Frame", 2520, 2640, 610, 255},
        {"Chk_Mute", "QCheckBox", "Video_Frame", 3600, 2640, 975, 375},
        {"SL1", "QSlider", "Video_Frame", 120, 3000, 3135, 495},
        {"Bt_Select", "QPushButton", "Video_Frame", 3480, 3120, 1095, 375},
        {"Fr_Set", "QGroupBox", "client", 120, 3240, 6735, 4815},
        {"Frame5", "QGroupBox", "Fr_Set", 120, 240, 6495, 1695},
        {"OpThumbWaku1", "QRadioButton", "Frame5", 120, 230, 975, 255},
        {"OpThumbWaku2", "QRadioButton", "Frame5", 3360, 230, 1215, 255},
        {"CbSize", "QComboBox", "Frame5", 120, 510, 1695, 300},
        {"Bt_SizeSave", "QPushButton", "Frame5", 1920, 510, 495, 255},
        {"Bt_SizeDel", "QPushButton", "Frame5", 2520, 510, 495, 255},
        {"Lb_WakuX", "QLabel", "Frame5", 240, 1005, 375, 255},
        {"SizeWidth", "QLineEdit", "Frame5", 600, 960, 735, 270},
        {"Lb_WakuY", "QLabel", "Frame5", 1680, 1005, 375, 255},
        {"SizeHeight", "QLineEdit", "Frame5", 2040, 960, 735, 270},
        {"Lb_SWaku", "QLabel", "Frame5", 3480, 510, 735, 255},
        {"Bt_SWaku", "QPushButton", "Frame5", 4200, 480, 375, 255},
        {"Lb_VWaku", "QLabel", "Frame5", 4800, 510, 735, 255},
        {"Bt_VWaku", "QPushButton", "Frame5", 5520, 480, 375, 255},
        {"LEAD3", "mirelo::window::ImageView", "Frame5", 3480, 840, 975, 735},
        {"LEAD4", "mirelo::window::ImageView", "Frame5", 4800, 840, 975, 735},
        {"Bt_Waku_Save", "QPushButton", "Frame5", 5880, 1320, 495, 255},
        {"Frame8", "QGroupBox", "Fr_Set", 120, 2040, 6495, 735},
        {"CbFormat", "QComboBox", "Frame8", 120, 240, 3135, 300},
        {"Lb_Name3", "QLabel", "Frame8", 3600, 240, 495, 255},
        {"Lb_Q", "QLabel", "Frame8", 4080, 240, 615, 255},
        {"SL_Q", "QSlider", "Frame8", 4560, 120, 1815, 560},
        {"Frame4", "QGroupBox", "Fr_Set", 120, 2880, 6495, 975},
        {"OpThumbOut2", "QRadioButton", "Frame4", 120, 240, 1935, 255},
        {"Bt_V_Out", "QPushButton", "Frame4", 2160, 240, 375, 255},
        {"Lb_Out", "QLabel", "Frame4", 2640, 240, 3735, 615},
        {"OpThumbOut1", "QRadioButton", "Frame4", 120, 600, 2415, 255},
        {"Frame7", "QGroupBox", "Fr_Set", 120, 3960, 6495, 735},
        {"CbFName", "QComboBox", "Frame7", 120, 240, 4215, 300},
        {"Lb_SaveFile", "QLabel", "Frame7", 4680, 280, 735, 255},
        {"FNameStr", "QLineEdit", "Frame7", 5520, 240, 855, 270},
        {"SL_Make", "QProgressBar", "client", 6960, 7080, 4815, 255},
        {"Bt_Save", "QPushButton", "client", 6960, 7440, 1095, 615},
        {"Bt_Cancel", "QPushButton", "client", 8040, 7440, 1095, 615},
        {"Bt_Go", "QPushButton", "client", 9120, 7440, 1455, 615},
        {"Bt_End", "QPushButton", "client", 10680, 7440, 1095, 615},
    };
    // Not shown: the companion list and the two working image buffers.
    const QStringList hidden = {QStringLiteral(u"List2"), QStringLiteral(u"LEAD11"), QStringLiteral(u"LEAD12")};

    WindowHarness h;
    auto& w = h.Start();
    for (const Row& row : rows) {
      const QString name = QString::fromLatin1(row.name);
      const auto found = w.findChildren<QWidget*>(name);
      QVERIFY2(found.size() == 1, row.name);
      QWidget* control = found.front();
      QVERIFY2(control->inherits(row.kind), row.name);
      QVERIFY2(control->parentWidget() && control->parentWidget()->objectName() == QLatin1String(row.container),
               row.name);
      const QRect actual = control->geometry();
      const QRect rounded(qRound(row.left / 15.0), qRound(row.top / 15.0), qRound(row.width / 15.0),
                          qRound(row.height / 15.0));
      const bool mayWiden = control->inherits("QLabel") || name == QLatin1String("CbFName");
      QVERIFY2(actual.topLeft() == rounded.topLeft() && actual.height() == rounded.height(),
               qPrintable(name + QStringLiteral(u" at ") + QString::number(actual.x()) + u',' +
                          QString::number(actual.y()) + u' ' + QString::number(actual.width()) + u'x' +
                          QString::number(actual.height())));
      QVERIFY2(mayWiden ? actual.width() >= rounded.width() : actual.width() == rounded.width(), row.name);
      QCOMPARE(control->isHidden(), hidden.contains(name));
    }
    // The separator between the size side and the frame side: x 3240, y 480 to 1560.
    const QRect line = w.Controls().Line1->geometry();
    QVERIFY(line.left() <= 216 && line.right() >= 215 && line.top() == 32 && line.bottom() + 1 == 104);
    QCOMPARE(w.Controls().Line1->parentWidget(), w.Controls().Frame5);
    // Widened controls still end before the next control on their line.
    QVERIFY(w.Controls().CbFName->geometry().right() < w.Controls().Lb_SaveFile->x());
    QVERIFY(w.Controls().Lb_Name2->geometry().right() < w.Controls().Still_Frame->x());

    // Menu titles and items with their accelerators.
    const auto& c = w.Controls();
    const QList<QPair<QString, QString>> menus = {
        {c.M_File->title(), QStringLiteral(u"ファイル(&F)")},
        {c.M_File_End->text(), QStringLiteral(u"終了(&X)")},
        {c.M_Help_Display->title(), QStringLiteral(u"表示(&D)")},
        {c.M_Help_Log->text(), QStringLiteral(u"エラーログの表示(&L)")},
        {c.M_Help_Option->text(), QStringLiteral(u"オプション(&O)")},
        {c.M_Help->title(), QStringLiteral(u"ヘルプ(&H)")},
        {c.M_Help_HomePage->text(), QStringLiteral(u"ホームページ(&H)")},
        {c.M_Help_Mokuji->text(), QStringLiteral(u"ヘルプ(&H)")},
        {c.M_Help_Version->text(), QStringLiteral(u"バージョン情報")}};
    for (const auto& [actual, expected] : menus) QCOMPARE(actual, expected);
    QCOMPARE(w.menuBar()->actions(),
             QList<QAction*>({c.M_File->menuAction(), c.M_Help_Display->menuAction(), c.M_Help->menuAction()}));
    for (QAction* separator : {c.M_Help_Line1, c.M_Help_Line2, c.M_Help_Line3}) QVERIFY(separator->isSeparator());
    QVERIFY(!c.M_File_End->isCheckable() && !c.M_Help_Option->isCheckable() && !c.M_Help_Version->isCheckable());
  }

  void preparedFileDrivesTheControls() {
    WindowHarness h;
    QVERIFY(mirelo::app::CreateSizeFile(h.sizeIni()));
    QVERIFY(mirelo::app::CreateSettingsFile(h.thumbIni(), 0, 0));
    Apply(h.thumbIni(), {{"Location", "Top", "1500"},
                         {"Location", "Left", "3000"},
                         {"Thumbnail", "Size", " 3"},
                         {"Image", "Mode", "1"},
                         {"Image", "Quality", " 55"},
                         {"Output", "Mode", "1"},
                         {"Output", "Path", "/data/out/"},
                         {"FileName", "Mode", "2"},
                         {"FileName", "Text", "_s"}});
    const std::string before = ReadBytes(h.thumbIni());
    auto& w = h.Start();
    const auto& c = w.Controls();
    QCOMPARE(w.pos(), QPoint(200, 100));
    QCOMPARE(c.CbSize->currentIndex(), 3);
    QCOMPARE(c.SizeWidth->text(), QStringLiteral(u"160"));
    QCOMPARE(c.SizeHeight->text(), QStringLiteral(u"120"));
    QVERIFY(c.SizeWidth->isEnabled() && c.Lb_WakuY->isEnabled());
    QCOMPARE(c.CbFormat->currentIndex(), 1);
    QCOMPARE(c.SL_Q->value(), 55);
    QCOMPARE(c.Lb_Q->text(), QStringLiteral(u" 55%"));
    QVERIFY(c.OpThumbOut2->isChecked());
    QCOMPARE(c.Lb_Out->text(), QStringLiteral(u"/data/out/"));
    QCOMPARE(c.CbFName->currentIndex(), 2);
    QCOMPARE(c.FNameStr->text(), QStringLiteral(u"_s"));
    QCOMPARE(w.Settings().SizeIndex, 3);
    QCOMPARE(ReadBytes(h.thumbIni()), before);  // loading writes nothing
  }

  void failureCasesKeepWhatWasNotReached_data() {
    QTest::addColumn<std::vector<IniEdit>>("edits");
    QTest::addColumn<int>("sizeIndex");        // CbSize selection
    QTest::addColumn<QString>("nameText");     // FNameStr
    QTest::addColumn<bool>("out2");            // OpThumbOut2 selected
    QTest::addColumn<bool>("qualityShown");    // SL_Q and Lb_Q not hidden
    QTest::addColumn<QPoint>("pos");           // window position; (-1,-1): the centred one

    const QPoint centred(-1, -1);
    QTest::newRow("size index beyond the list")
        << std::vector<IniEdit>{{"Location", "Top", "300"}, {"Location", "Left", "600"}, {"Thumbnail", "Size", "99"}}
        << 0 << QString() << false << true << QPoint(40, 20);
    QTest::newRow("quality outside the slider")
        << std::vector<IniEdit>{{"Image", "Quality", "150"}, {"Output", "Mode", "1"}} << 0 << QString() << false
        << true << centred;
    QTest::newRow("format without quality hides it")
        << std::vector<IniEdit>{{"Image", "Mode", "4"}} << 0 << QStringLiteral(u"_thum") << false << false << centred;
    QTest::newRow("missing output path forces mode 0")
        << std::vector<IniEdit>{{"Output", "Mode", "1"}, {"Output", "Path", std::nullopt}} << 0
        << QStringLiteral(u"_thum") << false << true << centred;
    QTest::newRow("top beyond 16 bits")
        << std::vector<IniEdit>{{"Location", "Top", "40000"}, {"Thumbnail", "Size", "2"}} << 0 << QString() << false
        << true << centred;
    QTest::newRow("non-numeric size index")
        << std::vector<IniEdit>{{"Thumbnail", "Size", "abc"}} << 0 << QString() << false << true << centred;
    QTest::newRow("missing name text shows ERROR")
        << std::vector<IniEdit>{{"FileName", "Text", std::nullopt}, {"Thumbnail", "Size", "1"}} << 1
        << QStringLiteral(u"ERROR") << false << true << centred;
    QTest::newRow("naming rule beyond the list")
        << std::vector<IniEdit>{{"FileName", "Mode", "3"}, {"Output", "Mode", "1"}, {"Output", "Path", "/o/"}} << 0
        << QString() << true << true << centred;
  }

  void failureCasesKeepWhatWasNotReached() {
    QFETCH(std::vector<IniEdit>, edits);
    QFETCH(int, sizeIndex);
    QFETCH(QString, nameText);
    QFETCH(bool, out2);
    QFETCH(bool, qualityShown);
    QFETCH(QPoint, pos);

    WindowHarness h;
    // The window's centred position, as a first start writes it.
    {
      WindowHarness first;
      first.Start();
      if (pos == QPoint(-1, -1)) pos = first.window->pos();
    }
    QVERIFY(mirelo::app::CreateSettingsFile(h.thumbIni(), pos.y() * 15, pos.x() * 15));
    Apply(h.thumbIni(), edits);
    auto& w = h.Start();
    const auto& c = w.Controls();
    QCOMPARE(w.pos(), pos);
    QCOMPARE(c.CbSize->currentIndex(), sizeIndex);
    QCOMPARE(c.FNameStr->text(), nameText);
    QCOMPARE(c.OpThumbOut2->isChecked(), out2);
    QCOMPARE(c.OpThumbOut1->isChecked(), !out2);
    QCOMPARE(!c.SL_Q->isHidden() && !c.Lb_Q->isHidden(), qualityShown);
    QVERIFY(h.shell.errors.isEmpty());
  }

  void framePicturesLoadIntoThePreviews() {
    WindowHarness h;
    const QString png = h.dir.filePath(QStringLiteral(u"枠.png"));
    QImage picture(40, 30, QImage::Format_RGB32);
    picture.fill(Qt::red);
    QVERIFY(picture.save(png, "PNG"));
    const QString broken = h.dir.filePath(QStringLiteral(u"broken.png"));
    WriteBytes(std::filesystem::path(broken.toStdString()), "not a picture");

    QVERIFY(mirelo::app::CreateSettingsFile(h.thumbIni(), 0, 0));
    Apply(h.thumbIni(), {{"StillFrame", "File", png.toStdString()},
                         {"StillFrame", "Top", "1"},
                         {"StillFrame", "Left", "2"},
                         {"StillFrame", "Width", "30"},
                         {"StillFrame", "Height", "20"},
                         {"VideoFrame", "File", broken.toStdString()},
                         {"VideoFrame", "Top", "5"}});
    auto& w = h.Start();
    const auto& s = w.Settings();
    QVERIFY(w.Controls().LEAD3->HasImage());
    QCOMPARE(s.StillFrameTop, 1);
    QCOMPARE(s.StillFrameHeight, 20);
    QCOMPARE(s.StillFrameFile, std::optional<std::string>(png.toStdString()));
    // A picture that cannot be loaded keeps its name while its numbers stay -1.
    QVERIFY(!w.Controls().LEAD4->HasImage());
    QCOMPARE(s.VideoFrameFile, std::optional<std::string>(broken.toStdString()));
    QCOMPARE(s.VideoFrameTop, -1);
    QCOMPARE(w.FrameEditFile, broken.toStdString());
  }

  void missingFramePictureClearsTheFrame() {
    WindowHarness h;
    QVERIFY(mirelo::app::CreateSettingsFile(h.thumbIni(), 0, 0));
    Apply(h.thumbIni(), {{"StillFrame", "File", "/nowhere/frame.png"}, {"StillFrame", "Top", "1"}});
    auto& w = h.Start();
    QCOMPARE(w.Settings().StillFrameFile, std::nullopt);
    QCOMPARE(w.Settings().StillFrameTop, -1);
    QCOMPARE(w.FrameEditFile, std::string("ERROR"));  // the video frame's text as read
  }

  // Handlers of later subsystems connect to these signals; start-up must fire them even when the
  // entry or option is already the selected one.
  void loadingRunsTheControlsClickHandlers() {
    WindowHarness h;
    auto& w = h.Make();
    const auto& c = w.Controls();
    QSignalSpy out1(c.OpThumbOut1, &QAbstractButton::clicked);
    QSignalSpy waku1(c.OpThumbWaku1, &QAbstractButton::clicked);
    QSignalSpy format(c.CbFormat, &QComboBox::activated);
    QSignalSpy naming(c.CbFName, &QComboBox::activated);
    QSignalSpy nameText(c.FNameStr, &QLineEdit::textChanged);
    QVERIFY(w.Form_Load());
    QCOMPARE(out1.size(), 2);  // step 7, then the loaded OutputMode 0
    QCOMPARE(waku1.size(), 1);
    QCOMPARE(format.size(), 1);
    QCOMPARE(format.at(0).at(0).toInt(), 0);
    QCOMPARE(naming.size(), 1);
    QCOMPARE(naming.at(0).at(0).toInt(), 1);
    QCOMPARE(nameText.size(), 1);

    QComboBox box;
    box.addItems({QStringLiteral(u"a"), QStringLiteral(u"b")});
    QSignalSpy clicks(&box, &QComboBox::activated);
    mirelo::window::SelectEntry(&box, 0);
    QCOMPARE(clicks.size(), 1);
    QVERIFY_THROWS_EXCEPTION(mirelo::Error, mirelo::window::SelectEntry(&box, 2));
    QCOMPARE(box.currentIndex(), 0);
  }

  void secondInstanceIsRefusedWithoutTouchingFiles() {
    WindowHarness h;
    mirelo::shell::SingleInstanceLock running(h.appDir());
    QVERIFY(running.held());
    auto& w = h.Make();
    QVERIFY(!w.Form_Load());
    QCOMPARE(h.shell.errors, QStringList{QStringLiteral(u"ミレロはすでに起動されています。")});
    QVERIFY(std::filesystem::is_empty(h.appDir()));
    QVERIFY(!w.isVisible());
    QVERIFY(w.windowTitle().isEmpty());

    // Another AppDir is another instance's business.
    WindowHarness other;
    QVERIFY(other.Make().Form_Load());
  }

  void instanceLockIsReleasedWithTheWindow() {
    WindowHarness h;
    h.Start();
    QVERIFY(!mirelo::shell::SingleInstanceLock(h.appDir()).held());
    h.window.reset();
    QVERIFY(mirelo::shell::SingleInstanceLock(h.appDir()).held());
  }
};

QTEST_MAIN(StartupTest)
#include "startup_test.moc"
