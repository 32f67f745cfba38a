#pragma once

// frmThum: the modal frame template editor. The user loads a frame picture and drags on it the
// rectangle into which every reduced image is set. OK stores the picture's path and the
// rectangle in picture pixels into the frame being edited; Cancel and the close box change
// nothing. thumb.ini is not touched here.

#include <QDialog>
#include <QImage>
#include <QString>
#include <cstdint>
#include <string>

#include "app/thumb_settings.h"
#include "frames/frame_geometry.h"

class QLabel;
class QGroupBox;
class QPushButton;
class QScrollArea;

namespace mirelo::shell {
class Shell;
}

namespace mirelo::frames {

// The open dialog's filter, in the program's "description|patterns" form.
QString FramePictureFilter();
// What the picture chooser offers: that filter first, then every still kind the program reads.
QString FramePictureChooserFilter();

// The message for a failed load of path. activation: the stored frame was being shown (a missing
// file then has its own text); otherwise the load button's texts.
QString FrameLoadFailureText(std::int32_t errorNumber, const QString& path, bool activation);

// The picture with its selection rectangle, at the view's zoom. Its coordinates are display
// pixels: the picture's top-left corner is at 0, 0.
class FrameCanvas : public QWidget {
  Q_OBJECT

 public:
  FrameCanvas(FrameGeometry& geometry, QWidget* parent = nullptr);

  void SetPicture(const QImage& picture);
  const QImage& Picture() const { return picture_; }
  // Resizes to the picture at the current zoom.
  void UpdateSize();

 signals:
  void dragMoved(QPoint position);
  void dragEnded();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  bool CanDrag() const;

  FrameGeometry& geometry_;
  QImage picture_;
};

class FrameEditor : public QDialog {
  Q_OBJECT

 public:
  // kind: FrameEditKind (which frame is edited). frameEditFile: the process-wide FrameEditFile.
  FrameEditor(app::FrameKind kind, app::ThumbSettings& settings, std::string& frameEditFile, shell::Shell& shell,
              QWidget* parent = nullptr);

  const FrameGeometry& Geometry() const { return geometry_; }
  bool HasPicture() const { return !canvas_->Picture().isNull(); }
  // The file of the picture in the view ("" when there is none).
  const std::string& PictureFile() const { return pictureFile_; }
  FrameCanvas* Canvas() const { return canvas_; }
  QScrollArea* View() const { return LEAD5; }
  // True once the activation of the current showing has run.
  bool Activated() const { return activated_; }

 public slots:
  void Form_Activate();
  void Bt_Load_Click();
  void Bt_x1_Click();
  void Bt_x2_Click();
  void Bt_x3_Click();
  void Bt_x4_Click();
  void Bt_OK_Click();
  void Bt_Cancel_Click();

 protected:
  void showEvent(QShowEvent* event) override;
  void done(int result) override;

 private:
  void Centre();
  void Zoom(int percent);
  void LEAD5_DragEnd();
  void ShowPicture(const QImage& picture, const std::string& file);

  app::FrameKind kind_;
  app::ThumbSettings& settings_;
  std::string& frameEditFile_;
  shell::Shell& shell_;
  FrameGeometry geometry_;
  std::string pictureFile_;
  bool activated_ = false;

  QLabel* Lb_Setsumei = nullptr;
  QScrollArea* LEAD5 = nullptr;
  FrameCanvas* canvas_ = nullptr;
  QGroupBox* Frame1 = nullptr;
  QPushButton* Bt_x1 = nullptr;
  QPushButton* Bt_x2 = nullptr;
  QPushButton* Bt_x3 = nullptr;
  QPushButton* Bt_x4 = nullptr;
  QPushButton* Bt_Load = nullptr;
  QPushButton* Bt_Cancel = nullptr;
  QPushButton* Bt_OK = nullptr;
};

}  // namespace mirelo::frames
