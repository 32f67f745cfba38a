#include "frames/frame_editor.h"

#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QMetaObject>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <cmath>
#include <exception>
#include <filesystem>

#include "app/utilities.h"
#include "app/window/image_view.h"
#include "platform/error.h"
#include "platform/imaging/imaging_control.h"
#include "platform/shell/shell.h"
#include "production/extensions.h"

namespace mirelo::frames {
namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

QPushButton* Button(QWidget* parent, const char16_t* name, const char16_t* caption, QRect geometry) {
  auto* button = new QPushButton(QString::fromUtf16(caption), parent);
  button->setObjectName(QString::fromUtf16(name));
  button->setGeometry(geometry);
  button->setAutoDefault(false);
  return button;
}

// Loads a frame picture at its own depth, first page. Throws mirelo::Error with the imaging
// numbers; any other failure counts as a file that cannot be read.
QImage LoadPicture(const std::string& file) {
  try {
    imaging::ImagingControl control;
    control.Load(std::filesystem::path(file));
    QImage picture = window::ToQImage(control.GetImage());
    if (picture.isNull()) throw Error(err::kFileCannotBeRead);
    return picture;
  } catch (const Error&) {
    throw;
  } catch (const std::exception&) {
    throw Error(err::kFileCannotBeRead);
  }
}

QRect Normalised(const Rect16& r) {
  return QRect(QPoint(r.Left, r.Top), QSize(r.Width, r.Height)).normalized();
}

}  // namespace

QString FramePictureFilter() {
  return QStringLiteral(u"ピクチャ (*.bmp;*.jpg;*.jpeg;*.gif;*.pct;*.png)|*.bmp;*.jpg;*.jpeg;*.gif;*.pct;*.png");
}

QString FramePictureChooserFilter() {
  // A frame picture may be any still the program reads: the original kinds and today's.
  QStringList patterns;
  for (const char* ext : {"bmp", "jpg", "jpeg", "gif", "pct", "png", "tif"}) patterns << QStringLiteral("*.") + QLatin1String(ext);
  for (std::string_view ext : production::kModernStillExtensions) {
    patterns << QStringLiteral("*.") + QString::fromLatin1(ext.data(), static_cast<qsizetype>(ext.size()));
  }
  const QString list = patterns.join(u';');
  return FramePictureFilter() + QStringLiteral(u"|すべての静止画 (") + list + QStringLiteral(u")|") + list;
}

QString FrameLoadFailureText(std::int32_t errorNumber, const QString& path, bool activation) {
  switch (errorNumber) {
    case err::kFileCannotBeRead: return path + QStringLiteral(u" は読み込めません。");
    case err::kInvalidFileFormat: return path + QStringLiteral(u" のファイルフォーマットが不正です。");
    case err::kFileNotFound:
      if (activation) return QStringLiteral(u"前回設定した ") + path + QStringLiteral(u" が見つかりません。");
      break;
    default: break;
  }
  return QStringLiteral(u"Error code:") + Q(app::SignedNumberText(errorNumber));
}

// ---- FrameCanvas --------------------------------------------------------------------------

FrameCanvas::FrameCanvas(FrameGeometry& geometry, QWidget* parent) : QWidget(parent), geometry_(geometry) {
  setObjectName(QStringLiteral(u"FrameCanvas"));
  setAttribute(Qt::WA_OpaquePaintEvent);
  resize(0, 0);
}

void FrameCanvas::SetPicture(const QImage& picture) {
  picture_ = picture;
  UpdateSize();
}

void FrameCanvas::UpdateSize() {
  if (picture_.isNull()) {
    resize(0, 0);
  } else {
    resize(static_cast<int>(std::lround(geometry_.ToDisplay(picture_.width()))),
           static_cast<int>(std::lround(geometry_.ToDisplay(picture_.height()))));
  }
  update();
}

bool FrameCanvas::CanDrag() const { return geometry_.SelectionOn() && !picture_.isNull(); }

void FrameCanvas::paintEvent(QPaintEvent* event) {
  QPainter painter(this);
  const QRect exposed = event->rect();
  if (picture_.isNull()) {
    painter.fillRect(exposed, palette().dark());
    return;
  }
  // Only the exposed part of the picture is scaled: a picture at 400 % may be far larger than
  // the view. Whole picture pixels, nearest neighbour, so every display pixel maps back exactly.
  const double zoom = geometry_.ZoomPercent() / 100.0;
  const int x0 = static_cast<int>(std::floor(exposed.left() / zoom));
  const int y0 = static_cast<int>(std::floor(exposed.top() / zoom));
  const int x1 = static_cast<int>(std::ceil((exposed.right() + 1) / zoom));
  const int y1 = static_cast<int>(std::ceil((exposed.bottom() + 1) / zoom));
  const QRect source = QRect(QPoint(x0, y0), QPoint(x1 - 1, y1 - 1)) & picture_.rect();
  if (!source.isEmpty()) {
    const QRectF target(source.x() * zoom, source.y() * zoom, source.width() * zoom, source.height() * zoom);
    painter.drawImage(target, picture_, source);
  }
  if (!geometry_.SelectionOn()) return;
  // A dashed black-on-white outline stays visible on any picture; handles mark its corners and
  // edge middles.
  const QRect r = Normalised(geometry_.ViewRect());
  painter.setBrush(Qt::NoBrush);
  painter.setPen(QPen(Qt::white, 1));
  painter.drawRect(r);
  QPen dashes(Qt::black, 1, Qt::DashLine);
  painter.setPen(dashes);
  painter.drawRect(r);
  if (r.width() < 8 || r.height() < 8) return;
  painter.setPen(QPen(Qt::black, 1));
  painter.setBrush(Qt::white);
  const int xs[] = {r.left(), r.center().x(), r.right()};
  const int ys[] = {r.top(), r.center().y(), r.bottom()};
  for (int ix = 0; ix < 3; ++ix) {
    for (int iy = 0; iy < 3; ++iy) {
      if (ix == 1 && iy == 1) continue;
      painter.drawRect(xs[ix] - 2, ys[iy] - 2, 4, 4);
    }
  }
}

void FrameCanvas::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton || !CanDrag()) return;
  geometry_.BeginDrag(event->position().x(), event->position().y(), width(), height());
  update();
}

void FrameCanvas::mouseMoveEvent(QMouseEvent* event) {
  if (!geometry_.Dragging()) return;
  geometry_.MoveDrag(event->position().x(), event->position().y());
  update();
  emit dragMoved(event->position().toPoint());
}

void FrameCanvas::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton || !geometry_.Dragging()) return;
  geometry_.EndDrag(event->position().x(), event->position().y());
  update();
  emit dragEnded();
}

// ---- FrameEditor --------------------------------------------------------------------------

FrameEditor::FrameEditor(app::FrameKind kind, app::ThumbSettings& settings, std::string& frameEditFile,
                         shell::Shell& shell, QWidget* parent)
    : QDialog(parent), kind_(kind), settings_(settings), frameEditFile_(frameEditFile), shell_(shell) {
  setObjectName(QStringLiteral(u"frmThum"));
  setWindowTitle(QStringLiteral(u"サムネイル設定"));
  setFixedSize(658, 568);
  setModal(true);

  Lb_Setsumei = new QLabel(QStringLiteral(u"●縮小した画像をはめ込む領域をドラッグしてください。"), this);
  Lb_Setsumei->setObjectName(QStringLiteral(u"Lb_Setsumei"));
  Lb_Setsumei->setGeometry(8, 8, 321, 17);
  if (Lb_Setsumei->sizeHint().width() > Lb_Setsumei->width()) Lb_Setsumei->resize(Lb_Setsumei->sizeHint().width(), 17);

  LEAD5 = new QScrollArea(this);
  LEAD5->setObjectName(QStringLiteral(u"LEAD5"));
  LEAD5->setGeometry(8, 24, 640, 480);
  LEAD5->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  LEAD5->setBackgroundRole(QPalette::Dark);
  LEAD5->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  canvas_ = new FrameCanvas(geometry_);
  LEAD5->setWidget(canvas_);
  connect(canvas_, &FrameCanvas::dragEnded, this, &FrameEditor::LEAD5_DragEnd);
  // Dragging past the view's edge scrolls the picture along.
  connect(canvas_, &FrameCanvas::dragMoved, this, [this](QPoint p) { LEAD5->ensureVisible(p.x(), p.y(), 0, 0); });

  Frame1 = new QGroupBox(QStringLiteral(u"拡大"), this);
  Frame1->setObjectName(QStringLiteral(u"Frame1"));
  Frame1->setGeometry(8, 512, 113, 49);
  // Drawn as the main window's frames are: a thin line whose caption interrupts its top edge.
  Frame1->setStyleSheet(QStringLiteral(
      u"QGroupBox { border: 1px solid palette(mid); margin-top: 6px; }"
      u"QGroupBox::title { subcontrol-origin: margin; subcontrol-position: top left; left: 4px; padding: 0px 1px; }"));
  Bt_x1 = Button(Frame1, u"Bt_x1", u"x1", QRect(8, 16, 25, 25));
  Bt_x2 = Button(Frame1, u"Bt_x2", u"x2", QRect(32, 16, 25, 25));
  Bt_x3 = Button(Frame1, u"Bt_x3", u"x3", QRect(56, 16, 25, 25));
  Bt_x4 = Button(Frame1, u"Bt_x4", u"x4", QRect(80, 16, 25, 25));
  Bt_Load = Button(this, u"Bt_Load", u"サムネイル枠の読み込み", QRect(320, 528, 145, 25));
  Bt_Cancel = Button(this, u"Bt_Cancel", u"キャンセル", QRect(472, 528, 81, 25));
  Bt_OK = Button(this, u"Bt_OK", u"設　定", QRect(568, 528, 81, 25));

  connect(Bt_x1, &QPushButton::clicked, this, &FrameEditor::Bt_x1_Click);
  connect(Bt_x2, &QPushButton::clicked, this, &FrameEditor::Bt_x2_Click);
  connect(Bt_x3, &QPushButton::clicked, this, &FrameEditor::Bt_x3_Click);
  connect(Bt_x4, &QPushButton::clicked, this, &FrameEditor::Bt_x4_Click);
  connect(Bt_Load, &QPushButton::clicked, this, &FrameEditor::Bt_Load_Click);
  connect(Bt_Cancel, &QPushButton::clicked, this, &FrameEditor::Bt_Cancel_Click);
  connect(Bt_OK, &QPushButton::clicked, this, &FrameEditor::Bt_OK_Click);
}

void FrameEditor::Centre() {
  const QScreen* screen = QGuiApplication::primaryScreen();
  if (!screen) return;
  const QRect area = screen->geometry();
  const QSize size = frameGeometry().size();
  move(area.x() + (area.width() - size.width()) / 2, area.y() + (area.height() - size.height()) / 2);
}

void FrameEditor::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  Centre();
  activated_ = false;
  // Activation runs once the window is on screen, so its messages stand over it.
  QMetaObject::invokeMethod(this, &FrameEditor::Form_Activate, Qt::QueuedConnection);
}

void FrameEditor::ShowPicture(const QImage& picture, const std::string& file) {
  pictureFile_ = file;
  canvas_->SetPicture(picture);
}

void FrameEditor::Form_Activate() {
  if (activated_ || !isVisible()) return;
  activated_ = true;
  setWindowTitle(kind_ == app::FrameKind::Still ? QStringLiteral(u"静止画のサムネイル設定")
                                                 : QStringLiteral(u"動画のサムネイル設定"));
  Centre();
  const app::FrameTemplate frame = settings_.Frame(kind_);
  if (!frame.File || frame.File->empty() || *frame.File == app::kIniError) {
    geometry_.SetSelectionOn(false);
    canvas_->update();
    return;
  }
  frameEditFile_ = *frame.File;
  try {
    const QImage picture = LoadPicture(frameEditFile_);
    geometry_.ShowStored(frame.Left, frame.Top, frame.Width, frame.Height);
    ShowPicture(picture, frameEditFile_);
  } catch (const Error& e) {
    shell_.ShowError(this, FrameLoadFailureText(e.number(), Q(frameEditFile_), true));
    // The stored frame is gone; its thumb.ini entries stay until a valid frame is saved.
    settings_.SetFrame(kind_, app::FrameTemplate{});
  }
}

void FrameEditor::Bt_Load_Click() {
  const std::optional<QString> chosen = shell_.GetOpenFileName(this, QString(), FramePictureChooserFilter());
  if (!chosen) return;
  frameEditFile_ = chosen->toStdString();
  try {
    const QImage picture = LoadPicture(frameEditFile_);
    geometry_.Loaded(picture.width(), picture.height());
    ShowPicture(picture, frameEditFile_);
  } catch (const Error& e) {
    // The view keeps the picture it had (if any), so OK never stores a file that did not load.
    shell_.ShowError(this, FrameLoadFailureText(e.number(), Q(frameEditFile_), false));
  }
}

void FrameEditor::Zoom(int percent) {
  geometry_.SetZoom(percent);
  canvas_->UpdateSize();
}

void FrameEditor::Bt_x1_Click() { Zoom(100); }
void FrameEditor::Bt_x2_Click() { Zoom(200); }
void FrameEditor::Bt_x3_Click() { Zoom(300); }
void FrameEditor::Bt_x4_Click() { Zoom(400); }

void FrameEditor::LEAD5_DragEnd() { canvas_->update(); }

void FrameEditor::Bt_OK_Click() {
  // With no picture in the view there is nothing to store: the frame stays as it was.
  if (HasPicture()) {
    const Rect16 r = geometry_.PictureRect();
    app::FrameTemplate frame;
    frame.File = pictureFile_;
    frame.Top = r.Top;
    frame.Left = r.Left;
    frame.Width = r.Width;
    frame.Height = r.Height;
    settings_.SetFrame(kind_, frame);
  }
  accept();
}

void FrameEditor::Bt_Cancel_Click() { reject(); }

void FrameEditor::done(int result) {
  // The view's picture is released whichever way the window closes.
  ShowPicture(QImage(), std::string());
  QDialog::done(result);
}

}  // namespace mirelo::frames
