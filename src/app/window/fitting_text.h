#pragma once

// Texts that must stay readable in the designed sizes with the fonts Linux has: a closed combo
// box shortens its entry where the entry says least, and the output-folder label wraps a path at
// its separators and leaves out middle folders, never cutting a folder name. Both keep the whole
// text (text(), currentText()) and show it as a tool tip while it is shortened.

#include <QComboBox>
#include <QFontMetrics>
#include <QLabel>
#include <QString>
#include <QStringList>

namespace mirelo::window {

// An entry of the form "NAME　DETAIL：WHAT" that does not fit `width` keeps its name and the end
// of its description: "NAME　…WHAT". What still does not fit is cut at the right with "…".
QString FitEntry(const QString& text, const QFontMetrics& metrics, int width);

// The lines a path is shown in, at most maxLines of at most `width` pixels: broken after "/",
// with folders from the middle left out as "…/" while the whole does not fit. A single folder
// name wider than a line is the only thing ever broken inside.
QStringList FitPath(const QString& path, const QFontMetrics& metrics, int width, int maxLines);

class FittingComboBox final : public QComboBox {
 public:
  using QComboBox::QComboBox;

 protected:
  void paintEvent(QPaintEvent* event) override;
};

class PathLabel final : public QLabel {
 public:
  using QLabel::QLabel;

 protected:
  void paintEvent(QPaintEvent* event) override;
};

}  // namespace mirelo::window
