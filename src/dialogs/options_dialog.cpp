#include "dialogs/options_dialog.h"

#include <QCheckBox>
#include <QFont>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QProxyStyle>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSignalBlocker>
#include <QSlider>
#include <QTabBar>
#include <QTabWidget>
#include <algorithm>

#include "app/settings_store.h"
#include "app/utilities.h"

namespace mirelo::dialogs {
namespace {

bool IsAsciiDigit(QChar ch) { return ch >= u'0' && ch <= u'9'; }

}  // namespace

// ---- TypedDigitsValidator -------------------------------------------------------------------

TypedDigitsValidator::TypedDigitsValidator(QLineEdit* edit) : QValidator(edit), edit_(edit) {
  // The line edit already holds the new text while it asks; the text before the edit is kept
  // here to find what was inserted.
  connect(edit, &QLineEdit::textChanged, this, [this](const QString& text) { accepted_ = text; });
}

QValidator::State TypedDigitsValidator::validate(QString& input, int&) const {
  // A text the program sets (" 72") comes with no edit to undo and is taken as it is. Calling it
  // invalid would leave the box in a refused state, in which the line edit lets the next key in
  // whatever it is.
  if (!edit_->isUndoAvailable()) return Acceptable;
  const QString& before = accepted_;
  qsizetype prefix = 0;
  while (prefix < before.size() && prefix < input.size() && before[prefix] == input[prefix]) ++prefix;
  qsizetype suffix = 0;
  while (suffix < before.size() - prefix && suffix < input.size() - prefix &&
         before[before.size() - 1 - suffix] == input[input.size() - 1 - suffix]) {
    ++suffix;
  }
  const QStringView inserted = QStringView(input).mid(prefix, input.size() - prefix - suffix);
  return std::all_of(inserted.begin(), inserted.end(), IsAsciiDigit) ? Acceptable : Invalid;
}

// ---- OptionsDialog --------------------------------------------------------------------------

template <typename W>
W* OptionsDialog::Place(W* widget, const char16_t* name, QRect design) {
  widget->setObjectName(QString::fromUtf16(name));
  widget->setGeometry(design);
  placed_.emplace_back(widget, design);
  return widget;
}

namespace {

// The design widths were measured with another font: a caption that does not fit is given the
// room it needs rather than being cut.
template <typename W>
W* Widened(W* widget) {
  const int needed = widget->sizeHint().width();
  if (needed > widget->width()) widget->resize(needed, widget->height());
  return widget;
}

// Five tabs in the design's one row: the tabs' own margins are narrowed so the fifth fits.
class NarrowTabsStyle : public QProxyStyle {
 public:
  int pixelMetric(PixelMetric metric, const QStyleOption* option, const QWidget* widget) const override {
    const int value = QProxyStyle::pixelMetric(metric, option, widget);
    return metric == PM_TabBarTabHSpace ? std::min(value, 12) : value;
  }
};

// A check box caption wider than the page is broken onto a second line after the last "、" that
// leaves the first line short enough, else after the last particle that does, else at the last
// character that fits.
void FitCaption(QCheckBox& box, int width) {
  const QFontMetrics metrics(box.font());
  const int room = width - (box.sizeHint().width() - metrics.horizontalAdvance(box.text()));
  const QString text = box.text();
  if (metrics.horizontalAdvance(text) <= room) return;
  qsizetype cut = 1;
  while (cut < text.size() && metrics.horizontalAdvance(text.left(cut + 1)) <= room) ++cut;
  qsizetype at = text.lastIndexOf(u'、', cut - 1);
  for (const char16_t particle : {u'は', u'が', u'を', u'に'}) {
    if (at > 0) break;
    at = text.lastIndexOf(QChar(particle), cut - 1);
  }
  if (at > 0) cut = at + 1;
  box.setText(text.left(cut) + u'\n' + text.mid(cut));
  box.resize(std::min(width, box.sizeHint().width()), box.height());
}

}  // namespace

QWidget* OptionsDialog::Page(const char16_t* caption) {
  auto* page = new QWidget;
  SSTab1->addTab(page, QString::fromUtf16(caption));
  return page;
}

QLabel* OptionsDialog::Label(QWidget* page, const char16_t* name, const char16_t* caption, QRect design) {
  auto* label = Place(new QLabel(QString::fromUtf16(caption), page), name, design);
  label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  // Two-line designs wrap; a one-line caption gets the room it needs.
  if (design.height() >= 33) {
    label->setWordWrap(true);
    return label;
  }
  return Widened(label);
}

QCheckBox* OptionsDialog::Check(QWidget* page, const char16_t* name, const char16_t* caption, QRect design,
                                std::int16_t app::ThumbSettings::*field) {
  auto* box = Widened(Place(new QCheckBox(QString::fromUtf16(caption), page), name, design));
  // A click and a keyboard toggle alike.
  connect(box, &QCheckBox::toggled, this, [this, field](bool on) { settings_.*field = on ? 1 : 0; });
  return box;
}

QRadioButton* OptionsDialog::Fit(QWidget* page, const char16_t* name, const char16_t* caption, QRect design,
                                 std::int16_t mode) {
  auto* option = Widened(Place(new QRadioButton(QString::fromUtf16(caption), page), name, design));
  connect(option, &QRadioButton::toggled, this, [this, mode](bool on) {
    if (on) settings_.FitMode = mode;
  });
  return option;
}

QSlider* OptionsDialog::Slider(QWidget* page, const char16_t* name, QRect design, int minimum, int maximum, int tick,
                               std::int16_t app::ThumbSettings::*field) {
  auto* slider = Place(new QSlider(Qt::Horizontal, page), name, design);
  slider->setRange(minimum, maximum);
  slider->setTickPosition(QSlider::TicksBelow);
  slider->setTickInterval(tick);
  slider->setSingleStep(1);
  slider->setPageStep(5);
  // A drag writes its value when it ends; a click on the groove, the arrow keys and the wheel
  // write at once, so no way of moving the slider leaves the setting behind.
  const auto write = [this, slider, field] { settings_.*field = static_cast<std::int16_t>(slider->value()); };
  connect(slider, &QSlider::sliderReleased, this, write);
  connect(slider, &QSlider::valueChanged, this, [slider, write] {
    if (!slider->isSliderDown()) write();
  });
  return slider;
}

OptionsDialog::OptionsDialog(app::ThumbSettings& settings, std::filesystem::path settingsFile, QWidget* parent)
    : QDialog(parent), settings_(settings), settingsFile_(std::move(settingsFile)) {
  setObjectName(QStringLiteral(u"frmOptions"));
  setWindowTitle(QStringLiteral(u"ｵﾌﾟｼｮﾝ"));
  setFixedSize(410, 328);
  setModal(true);

  SSTab1 = new QTabWidget(this);
  SSTab1->setObjectName(QStringLiteral(u"SSTab1"));
  SSTab1->setGeometry(8, 8, 393, 281);
  SSTab1->setUsesScrollButtons(false);
  auto* narrow = new NarrowTabsStyle;
  narrow->setParent(SSTab1);
  SSTab1->tabBar()->setStyle(narrow);

  QWidget* size = Page(u"画像の大きさ");
  OpFit1 = Fit(size, u"OpFit1", u"設定した領域にフィットさせる（縦横比は保たれない）", {24, 48, 305, 25}, 0);
  OpFit2 = Fit(size, u"OpFit2", u"設定した領域に内接させる（縦横比を保つ）", {24, 80, 281, 25}, 1);
  Label(size, u"Label2", u"※指定した領域と縦横比が違うと、画像の横、上下に隙間ができる場合があります。",
        {40, 112, 289, 33});
  OpFit3 = Fit(size, u"OpFit3", u"設定した領域に外接させる（縦横比を保つ）", {24, 160, 249, 25}, 2);
  QLabel* label3 = Label(size, u"Label3",
                         u"※「枠なし」の指定の場合、設定された大きさに対して上記の選択肢が適用されます。",
                         {40, 216, 297, 33});
  QPalette blue = label3->palette();
  blue.setColor(QPalette::WindowText, QColor(0, 0, 255));
  label3->setPalette(blue);

  QWidget* proc1 = Page(u"画像処理１");
  CkAutoTrim = Check(proc1, u"CkAutoTrim", u"静止画に対して、オートトリム（オートクロップ）をする",
                     {24, 40, 337, 17}, &app::ThumbSettings::AutoTrimOn);
  Label(proc1, u"Label6", u"（周辺の空白の領域を取り除き、トリミングする）", {40, 64, 329, 25});
  QLabel* label5 = Label(proc1, u"Label5", u"しきい値：", {24, 96, 65, 17});
  label5->setAlignment(Qt::AlignRight | Qt::AlignTop);
  SL_AutoTrim = Slider(proc1, u"SL_AutoTrim", {96, 88, 273, 33}, 0, 244, 10, &app::ThumbSettings::AutoTrimThreshold);
  CkAutoContrast = Check(proc1, u"CkAutoContrast", u"自動コントラスト調整をする", {24, 144, 337, 17},
                         &app::ThumbSettings::AutoContrastOn);
  Label(proc1, u"Label7", u"（画像のヒストグラムの移動と引き伸ばしを行います）", {40, 168, 329, 25});
  CkMono = Check(proc1, u"CkMono", u"「モノクローム」にする", {24, 208, 233, 17}, &app::ThumbSettings::MonoOn);

  QWidget* proc2 = Page(u"画像処理２");
  Label(proc2, u"Label1", u"元画像を拡大・縮小したあとに、", {16, 48, 305, 17});
  CkSharp = Check(proc2, u"CkSharp", u"「シャープ」フィルタをかける", {32, 80, 329, 17}, &app::ThumbSettings::SharpOn);
  QLabel* label4 = Label(proc2, u"Label4", u"なめらか←　　　　　0　　　　　→シャープ", {45, 104, 321, 17});
  label4->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
  QFont gothic = label4->font();
  gothic.setFamilies({QStringLiteral(u"ＭＳ ゴシック"), QStringLiteral(u"IPAGothic")});
  gothic.setPointSize(9);
  label4->setFont(gothic);
  label4->setGeometry(45, 104, 321, 17);  // centred under the slider, whatever the font's width
  SL_Sharp = Slider(proc2, u"SL_Sharp", {45, 120, 321, 41}, -1000, 1000, 100, &app::ThumbSettings::SharpValue);
  Label(proc2, u"LB_DPI", u"●出力DPI（Dot Per　Inch)", {32, 200, 153, 17});
  TB_DPI = Place(new QLineEdit(proc2), u"TB_DPI", {48, 224, 41, 18});
  TB_DPI->setValidator(new TypedDigitsValidator(TB_DPI));
  connect(TB_DPI, &QLineEdit::inputRejected, this, &OptionsDialog::inputRefused);
  connect(TB_DPI, &QLineEdit::textChanged, this, &OptionsDialog::TB_DPI_Change);

  QWidget* names = Page(u"ファイル名");
  CkChaMode = Check(names, u"CkChaMode", u"ファイル名を小文字にする", {16, 40, 313, 25},
                    &app::ThumbSettings::LowerCaseName);
  CkJpgExt4 = Check(names, u"CkJpgExt4", u"JPEGの拡張子を「jpeg」にする", {16, 64, 321, 33},
                    &app::ThumbSettings::JpegExt);

  // Settings of our own, kept in thumb.ini's [Batch].
  QWidget* batch = Page(u"一括処理");
  struct BatchBox {
    QCheckBox** box;
    const char16_t* name;
    const char16_t* caption;
    std::int16_t app::ThumbSettings::*field;
  };
  const BatchBox batchBoxes[] = {
      {&CkFolderDrop, u"CkFolderDrop", u"フォルダーをドロップしたとき、中のファイルも追加する（サブフォルダーを含む）",
       &app::ThumbSettings::FolderDrop},
      {&CkKeepTree, u"CkKeepTree", u"出力先フォルダーに元のフォルダー構成を再現する", &app::ThumbSettings::KeepTree},
      {&CkSkipDone, u"CkSkipDone", u"作成済みのサムネイルが元ファイルより新しいときは作成しない",
       &app::ThumbSettings::SkipDone},
      {&CkKeepGoing, u"CkKeepGoing", u"読み込めないファイルがあっても次のファイルへ進む",
       &app::ThumbSettings::KeepGoing},
      {&CkAutoScene, u"CkAutoScene", u"シーンを決めていない動画は、黒や単色でない最初の場面から作る",
       &app::ThumbSettings::AutoScene},
  };
  int top = 32;
  for (const BatchBox& b : batchBoxes) {
    *b.box = Check(batch, b.name, b.caption, {16, top, 369, 33}, b.field);
    FitCaption(**b.box, 369);
    top += 40;
  }

  auto button = [this](const char16_t* name, const char16_t* caption, QRect geometry) {
    auto* b = new QPushButton(QString::fromUtf16(caption), this);
    b->setObjectName(QString::fromUtf16(name));
    b->setGeometry(geometry);
    b->setAutoDefault(false);
    return b;
  };
  cmdOk = button(u"cmdOk", u"OK", {168, 296, 73, 25});
  cmdCancel = button(u"cmdCancel", u"ｷｬﾝｾﾙ", {248, 297, 73, 25});
  cmdSave = button(u"cmdSave", u"保存", {328, 296, 73, 25});
  connect(cmdOk, &QPushButton::clicked, this, &OptionsDialog::cmdOk_Click);
  connect(cmdCancel, &QPushButton::clicked, this, &OptionsDialog::cmdCancel_Click);  // Esc rejects as well
  connect(cmdSave, &QPushButton::clicked, this, &OptionsDialog::cmdSave_Click);

  SSTab1->setCurrentIndex(0);
  Form_Load();
}

void OptionsDialog::Form_Load() {
  Centre();
  switch (settings_.FitMode) {
    case 0: OpFit1->setChecked(true); break;
    case 1: OpFit2->setChecked(true); break;
    case 2: OpFit3->setChecked(true); break;
    default: break;  // no option selected
  }
  CkAutoTrim->setChecked(settings_.AutoTrimOn == 1);
  {
    // Setting a slider writes nothing: a stored value beyond its range is shown at its end and
    // kept until the user moves the slider.
    const QSignalBlocker block(SL_AutoTrim);
    SL_AutoTrim->setValue(settings_.AutoTrimThreshold);
  }
  CkAutoContrast->setChecked(settings_.AutoContrastOn == 1);
  CkMono->setChecked(settings_.MonoOn == 1);
  CkSharp->setChecked(settings_.SharpOn == 1);
  {
    const QSignalBlocker block(SL_Sharp);
    SL_Sharp->setValue(settings_.SharpValue);
  }
  TB_DPI->setText(QString::fromStdString(app::SignedNumberText(settings_.DpiValue)));
  CkChaMode->setChecked(settings_.LowerCaseName == 1);
  CkJpgExt4->setChecked(settings_.JpegExt == 1);
  CkFolderDrop->setChecked(settings_.FolderDrop == 1);
  CkKeepTree->setChecked(settings_.KeepTree == 1);
  CkSkipDone->setChecked(settings_.SkipDone == 1);
  CkKeepGoing->setChecked(settings_.KeepGoing == 1);
  CkAutoScene->setChecked(settings_.AutoScene == 1);
}

void OptionsDialog::Centre() {
  const QScreen* screen = QGuiApplication::primaryScreen();
  if (!screen) return;
  const QRect area = screen->geometry();
  const QSize size = frameGeometry().size();
  move(area.x() + (area.width() - size.width()) / 2, area.y() + (area.height() - size.height()) / 2);
}

void OptionsDialog::PlaceOnTabs() {
  // The design places tab contents relative to the tab control; Qt's pages start below the tab
  // row, wherever the style puts it.
  QWidget* page = SSTab1->currentWidget();
  if (!page) return;
  const QPoint offset = page->mapTo(SSTab1, QPoint(0, 0));
  for (auto& [widget, design] : placed_) widget->move(design.topLeft() - offset);
}

void OptionsDialog::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  PlaceOnTabs();
  Centre();
}

void OptionsDialog::TB_DPI_Change() {
  // An empty box or a number beyond 16 bits keeps the last valid value.
  const app::Int16Result number = app::TextToInt16(TB_DPI->text().toStdString());
  if (number.ok()) settings_.DpiValue = number.value;
}

void OptionsDialog::cmdOk_Click() { accept(); }

void OptionsDialog::cmdCancel_Click() { reject(); }

void OptionsDialog::cmdSave_Click() {
  app::SaveOptionSettings(settingsFile_, settings_);
  accept();
}

}  // namespace mirelo::dialogs
