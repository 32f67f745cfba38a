#include "app/window/main_controls.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTimer>

#include "app/window/fitting_text.h"
#include "app/window/image_view.h"
#include "app/window/twips.h"

namespace mirelo::window {
namespace {

template <typename W>
W* Place(W* widget, const char16_t* name, int left, int top, int width, int height) {
  widget->setObjectName(QString::fromUtf16(name));
  widget->setGeometry(TwipsRect(left, top, width, height));
  return widget;
}

QLabel* Label(QWidget* parent, const char16_t* name, const char16_t* caption, int l, int t, int w, int h) {
  auto* label = Place(new QLabel(QString::fromUtf16(caption), parent), name, l, t, w, h);
  label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  // The design widths were measured with another font; a caption that does not fit is given the
  // room it needs rather than being cut.
  const int needed = label->fontMetrics().horizontalAdvance(label->text());
  if (needed > label->width()) label->resize(needed, label->height());
  return label;
}

QPushButton* Button(QWidget* parent, const char16_t* name, const char16_t* caption, int l, int t, int w, int h) {
  auto* button = Place(new QPushButton(QString::fromUtf16(caption), parent), name, l, t, w, h);
  button->setAutoDefault(false);
  return button;
}

QGroupBox* Group(QWidget* parent, const char16_t* name, const char16_t* caption, int l, int t, int w, int h) {
  return Place(new QGroupBox(QString::fromUtf16(caption), parent), name, l, t, w, h);
}

QRadioButton* Option(QWidget* parent, const char16_t* name, const char16_t* caption, int l, int t, int w, int h) {
  return Place(new QRadioButton(QString::fromUtf16(caption), parent), name, l, t, w, h);
}

ImageView* View(QWidget* parent, const char16_t* name, int l, int t, int w, int h) {
  return Place(new ImageView(parent), name, l, t, w, h);
}

QSlider* Slider(QWidget* parent, const char16_t* name, int l, int t, int w, int h) {
  auto* slider = Place(new QSlider(Qt::Horizontal, parent), name, l, t, w, h);
  slider->setTickPosition(QSlider::TicksBelow);
  return slider;
}

QAction* Item(QMenu* menu, const char16_t* name, const char16_t* caption) {
  QAction* action = menu->addAction(QString::fromUtf16(caption));
  action->setObjectName(QString::fromUtf16(name));
  return action;
}

QAction* Separator(QMenu* menu, const char16_t* name) {
  QAction* action = menu->addSeparator();
  action->setObjectName(QString::fromUtf16(name));
  return action;
}

void BuildFileList(QWidget* w, MainControls& c) {
  c.Lb_Name1 = Label(w, u"Lb_Name1", u"●処理したいファイルを、エクスプローラでドラッグ＆ドロップして下さい。", 120, 120,
                     6975, 255);
  c.List1 = Place(new QListWidget(w), u"List1", 120, 360, 5655, 2790);
  c.Bt_Expl = Button(w, u"Bt_Expl", u"ｴｸｽﾌﾟﾛｰﾗ", 5880, 480, 975, 375);
  c.Lb_Name2 = Label(w, u"Lb_Name2", u"ファイル数：", 5880, 1080, 975, 255);
  c.Lb_fi = Label(w, u"Lb_fi", u"0", 6000, 1320, 855, 255);
  c.Bt_Del = Button(w, u"Bt_Del", u"削除", 5880, 2280, 975, 375);
  c.Bt_All_Del = Button(w, u"Bt_All_Del", u"全削除", 5880, 2760, 975, 375);
  c.List2 = Place(new QListWidget(w), u"List2", 8880, 0, 1935, 420);
  c.List2->hide();
  c.Picture1 = Place(new QFrame(w), u"Picture1", 7680, 0, 855, 375);
  c.Timer1 = new QTimer(w);
  c.Timer1->setObjectName(QStringLiteral(u"Timer1"));
  c.Timer1->setInterval(1000);
}

void BuildPreview(QWidget* w, MainControls& c) {
  c.Still_Frame = Group(w, u"Still_Frame", u"静止画", 6960, 480, 4815, 2775);
  c.Label2 = Label(c.Still_Frame, u"Label2", u"■Size：", 3240, 360, 1215, 255);
  c.Lb_s_size = Label(c.Still_Frame, u"Lb_s_size", u"", 3240, 600, 1455, 375);
  c.Lb_s_size->setEnabled(false);
  // LEAD11 and LEAD12 are image buffers of the production run, not views.
  c.LEAD11 = View(c.Still_Frame, u"LEAD11", 3240, 840, 1335, 735);
  c.LEAD11->hide();
  c.LEAD12 = View(c.Still_Frame, u"LEAD12", 3240, 1800, 1455, 855);
  c.LEAD12->hide();
  // Created after its frame so that it lies over it.
  c.LEAD1 = View(w, u"LEAD1", 7080, 840, 3015, 2250);

  c.Video_Frame = Group(w, u"Video_Frame", u"動　画", 6960, 3360, 4815, 3615);
  QWidget* v = c.Video_Frame;
  c.Shape1 = Place(new QFrame(v), u"Shape1", 120, 240, 3000, 2250);
  c.Shape1->setFrameStyle(QFrame::Box | QFrame::Plain);
  c.Label4 = Label(v, u"Label4", u"■Size：", 3240, 240, 1215, 255);
  c.Lb_v_size = Label(v, u"Lb_v_size", u"", 3240, 480, 1455, 375);
  c.Lb_v_size->setEnabled(false);
  c.V_Stop = Button(v, u"V_Stop", u"■", 120, 2640, 610, 255);
  c.V_Play = Button(v, u"V_Play", u"▼", 720, 2640, 610, 255);
  c.V_PR = Button(v, u"V_PR", u"|▲▲", 1320, 2640, 610, 255);
  c.V_Pause = Button(v, u"V_Pause", u"ll", 1920, 2640, 610, 255);
  c.V_PF = Button(v, u"V_PF", u"▼▼|", 2520, 2640, 610, 255);
  c.Chk_Mute = Place(new QCheckBox(QStringLiteral(u"ミュート"), v), u"Chk_Mute", 3600, 2640, 975, 375);
  c.SL1 = Slider(v, u"SL1", 120, 3000, 3135, 495);
  c.SL1->setRange(0, 0);
  c.Bt_Select = Button(v, u"Bt_Select", u"シーン決定", 3480, 3120, 1095, 375);
  for (QWidget* player : {static_cast<QWidget*>(c.V_Stop), static_cast<QWidget*>(c.V_Play),
                          static_cast<QWidget*>(c.V_PR), static_cast<QWidget*>(c.V_Pause),
                          static_cast<QWidget*>(c.V_PF), static_cast<QWidget*>(c.Chk_Mute),
                          static_cast<QWidget*>(c.SL1), static_cast<QWidget*>(c.Bt_Select)}) {
    player->setEnabled(false);
  }
}

void BuildOutputSettings(QWidget* w, MainControls& c) {
  c.Fr_Set = Group(w, u"Fr_Set", u"■出力設定", 120, 3240, 6735, 4815);

  c.Frame5 = Group(c.Fr_Set, u"Frame5", u"■画像の設定", 120, 240, 6495, 1695);
  QWidget* f5 = c.Frame5;
  c.OpThumbWaku1 = Option(f5, u"OpThumbWaku1", u"枠なし", 120, 230, 975, 255);
  c.OpThumbWaku2 = Option(f5, u"OpThumbWaku2", u"枠付き", 3360, 230, 1215, 255);
  c.OpThumbWaku1->setChecked(true);
  c.CbSize = Place(new QComboBox(f5), u"CbSize", 120, 510, 1695, 300);
  c.CbSize->setEditable(true);
  c.CbSize->setInsertPolicy(QComboBox::NoInsert);
  c.CbSize->setCompleter(nullptr);  // a typed name is taken as typed, never completed
  // Nor does leaving the field with a preset's name in it pick that preset: the list would run
  // CbSize_Click and put the preset's numbers back into the boxes just before "保存" reads them.
  QObject::disconnect(c.CbSize->lineEdit(), &QLineEdit::editingFinished, c.CbSize, nullptr);
  c.Bt_SizeSave = Button(f5, u"Bt_SizeSave", u"保存", 1920, 510, 495, 255);
  c.Bt_SizeDel = Button(f5, u"Bt_SizeDel", u"削除", 2520, 510, 495, 255);
  c.Lb_WakuX = Label(f5, u"Lb_WakuX", u"横：", 240, 1005, 375, 255);
  c.SizeWidth = Place(new QLineEdit(f5), u"SizeWidth", 600, 960, 735, 270);
  c.Lb_WakuY = Label(f5, u"Lb_WakuY", u"縦：", 1680, 1005, 375, 255);
  c.SizeHeight = Place(new QLineEdit(f5), u"SizeHeight", 2040, 960, 735, 270);
  c.Line1 = new QFrame(f5);
  c.Line1->setObjectName(QStringLiteral(u"Line1"));
  c.Line1->setFrameStyle(QFrame::VLine | QFrame::Sunken);
  c.Line1->setGeometry(Px(3240) - 1, Px(480), 2, Px(1560) - Px(480));
  c.Lb_SWaku = Label(f5, u"Lb_SWaku", u"静止画：", 3480, 510, 735, 255);
  c.Bt_SWaku = Button(f5, u"Bt_SWaku", u"…", 4200, 480, 375, 255);
  c.Lb_VWaku = Label(f5, u"Lb_VWaku", u"動　画：", 4800, 510, 735, 255);
  c.Bt_VWaku = Button(f5, u"Bt_VWaku", u"…", 5520, 480, 375, 255);
  c.LEAD3 = View(f5, u"LEAD3", 3480, 840, 975, 735);
  c.LEAD4 = View(f5, u"LEAD4", 4800, 840, 975, 735);
  c.Bt_Waku_Save = Button(f5, u"Bt_Waku_Save", u"保存", 5880, 1320, 495, 255);
  // Frame side off until "枠付き" is chosen.
  for (QWidget* frameSide : {static_cast<QWidget*>(c.Lb_SWaku), static_cast<QWidget*>(c.Bt_SWaku),
                             static_cast<QWidget*>(c.Lb_VWaku), static_cast<QWidget*>(c.Bt_VWaku),
                             static_cast<QWidget*>(c.LEAD3), static_cast<QWidget*>(c.LEAD4),
                             static_cast<QWidget*>(c.Bt_Waku_Save)}) {
    frameSide->setEnabled(false);
  }

  c.Frame8 = Group(c.Fr_Set, u"Frame8", u"■画像フォーマット", 120, 2040, 6495, 735);
  QWidget* f8 = c.Frame8;
  // The GIF entries are wider than the closed box: it shows them shortened where they say least.
  c.CbFormat = Place(new FittingComboBox(f8), u"CbFormat", 120, 240, 3135, 300);
  c.Lb_Name3 = Label(f8, u"Lb_Name3", u"画質：", 3600, 240, 495, 255);
  c.Lb_Q = Label(f8, u"Lb_Q", u"", 4080, 240, 615, 255);
  c.SL_Q = Slider(f8, u"SL_Q", 4560, 120, 1815, 560);
  c.SL_Q->setRange(0, 100);
  c.SL_Q->setSingleStep(5);
  c.SL_Q->setPageStep(10);
  c.SL_Q->setTickInterval(10);

  c.Frame4 = Group(c.Fr_Set, u"Frame4", u"■出力フォルダ", 120, 2880, 6495, 975);
  QWidget* f4 = c.Frame4;
  c.OpThumbOut2 = Option(f4, u"OpThumbOut2", u"フォルダを指定する", 120, 240, 1935, 255);
  c.Bt_V_Out = Button(f4, u"Bt_V_Out", u"…", 2160, 240, 375, 255);
  // A long folder is wrapped at its separators with middle folders left out, never cut inside a name.
  c.Lb_Out = Place(new PathLabel(f4), u"Lb_Out", 2640, 240, 3735, 615);
  c.Lb_Out->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  c.Lb_Out->setEnabled(false);
  c.OpThumbOut1 = Option(f4, u"OpThumbOut1", u"元のファイルと同じにする", 120, 600, 2415, 255);
  c.OpThumbOut1->setChecked(true);

  c.Frame7 = Group(c.Fr_Set, u"Frame7", u"■ファイル名", 120, 3960, 6495, 735);
  QWidget* f7 = c.Frame7;
  // Choose-only: a typed text would match no naming rule and change nothing.
  c.CbFName = Place(new QComboBox(f7), u"CbFName", 120, 240, 4215, 300);
  c.Lb_SaveFile = Label(f7, u"Lb_SaveFile", u"文字列：", 4680, 280, 735, 255);
  c.FNameStr = Place(new QLineEdit(f7), u"FNameStr", 5520, 240, 855, 270);
}

void BuildCommands(QWidget* w, MainControls& c) {
  c.SL_Make = Place(new QProgressBar(w), u"SL_Make", 6960, 7080, 4815, 255);
  c.SL_Make->setRange(0, 100);
  c.SL_Make->setValue(0);
  c.SL_Make->setTextVisible(false);
  c.Bt_Save = Button(w, u"Bt_Save", u"設定の保存", 6960, 7440, 1095, 615);
  c.Bt_Cancel = Button(w, u"Bt_Cancel", u"キャンセル", 8040, 7440, 1095, 615);
  c.Bt_Go = Button(w, u"Bt_Go", u"処理の開始", 9120, 7440, 1455, 615);
  c.Bt_End = Button(w, u"Bt_End", u"終了", 10680, 7440, 1095, 615);
  c.Bt_Cancel->setEnabled(false);
  c.Bt_Go->setEnabled(false);
}

void BuildMenus(QMainWindow& window, MainControls& c) {
  QMenuBar* bar = window.menuBar();
  c.M_File = bar->addMenu(QStringLiteral(u"ファイル(&F)"));
  c.M_File->setObjectName(QStringLiteral(u"M_File"));
  c.M_File_End = Item(c.M_File, u"M_File_End", u"終了(&X)");

  c.M_Help_Display = bar->addMenu(QStringLiteral(u"表示(&D)"));
  c.M_Help_Display->setObjectName(QStringLiteral(u"M_Help_Display"));
  c.M_Help_Log = Item(c.M_Help_Display, u"M_Help_Log", u"エラーログの表示(&L)");
  c.M_Help_Log->setCheckable(true);
  c.M_Help_SelectFailed = Item(c.M_Help_Display, u"M_Help_SelectFailed", u"失敗したファイルだけを選択");
  c.M_Help_SelectFailed->setEnabled(false);
  c.M_Help_Line1 = Separator(c.M_Help_Display, u"M_Help_Line1");
  c.M_Help_Option = Item(c.M_Help_Display, u"M_Help_Option", u"オプション(&O)");

  c.M_Help = bar->addMenu(QStringLiteral(u"ヘルプ(&H)"));
  c.M_Help->setObjectName(QStringLiteral(u"M_Help"));
  c.M_Help_HomePage = Item(c.M_Help, u"M_Help_HomePage", u"ホームページ(&H)");
  c.M_Help_Line2 = Separator(c.M_Help, u"M_Help_Line2");
  c.M_Help_Mokuji = Item(c.M_Help, u"M_Help_Mokuji", u"ヘルプ(&H)");
  c.M_Help_Line3 = Separator(c.M_Help, u"M_Help_Line3");
  c.M_Help_Version = Item(c.M_Help, u"M_Help_Version", u"バージョン情報");
}

}  // namespace

QStringList FormatEntries() {
  return {QStringLiteral(u"JPG　圧縮：ベースライン"),        QStringLiteral(u"JPG　圧縮：プログレッシブ"),
          QStringLiteral(u"PNG　Portable Network Graphics"), QStringLiteral(u"GIF　8bit：ﾊﾟﾚｯﾄ-Windowsシステム"),
          QStringLiteral(u"GIF　8bit：ﾊﾟﾚｯﾄ-使用色で最適化"), QStringLiteral(u"PCT　Macintosh Pict"),
          QStringLiteral(u"BMP　Windows Bitmap"),           QStringLiteral(u"WEBP　Google WebP")};
}

QStringList NamingEntries() {
  return {QStringLiteral(u"元画像のファイル名と同じ"), QStringLiteral(u"元画像のファイル名の先頭に「文字列」を加える"),
          QStringLiteral(u"元画像のファイル名の後ろに「文字列」を加える")};
}

MainControls BuildMainControls(QMainWindow& window) {
  MainControls c;
  auto* client = new QWidget(&window);
  client->setObjectName(QStringLiteral(u"client"));
  client->setFixedSize(Px(kClientWidthTwips), Px(kClientHeightTwips));
  // Frames as the design draws them: a thin line whose caption interrupts its top edge.
  client->setStyleSheet(QStringLiteral(
      u"QGroupBox { border: 1px solid palette(mid); margin-top: 6px; }"
      u"QGroupBox::title { subcontrol-origin: margin; subcontrol-position: top left; left: 4px; padding: 0px 1px; }"));
  window.setCentralWidget(client);
  BuildFileList(client, c);
  BuildPreview(client, c);
  BuildOutputSettings(client, c);
  BuildCommands(client, c);
  BuildMenus(window, c);
  return c;
}

}  // namespace mirelo::window
