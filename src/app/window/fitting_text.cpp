#include "app/window/fitting_text.h"

#include <QPainter>
#include <QStyleOptionComboBox>
#include <QStylePainter>
#include <algorithm>

namespace mirelo::window {
namespace {

const QString kEllipsis = QStringLiteral(u"…");

// The path in pieces that each end after their "/" (the last may have none).
QStringList PathPieces(const QString& path) {
  QStringList pieces;
  qsizetype start = 0;
  for (qsizetype i = 0; i < path.size(); ++i) {
    if (path[i] == u'/') {
      pieces << path.mid(start, i + 1 - start);
      start = i + 1;
    }
  }
  if (start < path.size()) pieces << path.mid(start);
  return pieces;
}

// Greedy lines of whole pieces; a piece wider than a line is broken where it must be.
QStringList Wrap(const QStringList& pieces, const QFontMetrics& metrics, int width) {
  QStringList lines;
  QString line;
  for (const QString& piece : pieces) {
    if (metrics.horizontalAdvance(line + piece) <= width) {
      line += piece;
      continue;
    }
    if (!line.isEmpty()) lines << line;
    line.clear();
    for (const QChar ch : piece) {
      if (!line.isEmpty() && metrics.horizontalAdvance(line + ch) > width) {
        lines << line;
        line.clear();
      }
      line += ch;
    }
  }
  if (!line.isEmpty()) lines << line;
  return lines;
}

void UpdateToolTip(QWidget& widget, const QString& whole, bool shortened) {
  const QString tip = shortened ? whole : QString();
  if (widget.toolTip() != tip) widget.setToolTip(tip);
}

}  // namespace

QString FitEntry(const QString& text, const QFontMetrics& metrics, int width) {
  if (metrics.horizontalAdvance(text) <= width) return text;
  const qsizetype space = text.indexOf(u'　');
  const qsizetype colon = text.indexOf(u'：', space + 1);
  if (space > 0 && colon > space) {
    // The detail before the colon is what entries of the same format share.
    const QString shorter = text.left(space + 1) + kEllipsis + text.mid(colon + 1);
    if (metrics.horizontalAdvance(shorter) <= width) return shorter;
  }
  return metrics.elidedText(text, Qt::ElideRight, width);
}

QStringList FitPath(const QString& path, const QFontMetrics& metrics, int width, int maxLines) {
  const QStringList pieces = PathPieces(path);
  QStringList lines = Wrap(pieces, metrics, width);
  if (lines.size() <= maxLines) return lines;
  // Keep as many pieces as fit, the last folders first: they tell one output folder from another.
  const qsizetype n = pieces.size();
  for (qsizetype kept = n - 1; kept >= 1; --kept) {
    for (qsizetype tail = kept; tail >= 1; --tail) {
      const qsizetype head = kept - tail;
      QStringList candidate = pieces.mid(0, head);
      candidate << kEllipsis + u'/';
      candidate << pieces.mid(n - tail);
      lines = Wrap(candidate, metrics, width);
      if (lines.size() <= maxLines) return lines;
    }
  }
  return {metrics.elidedText(path, Qt::ElideMiddle, width)};
}

void FittingComboBox::paintEvent(QPaintEvent*) {
  QStylePainter painter(this);
  QStyleOptionComboBox option;
  initStyleOption(&option);
  const QRect field = style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, this);
  const QString whole = option.currentText;
  option.currentText = FitEntry(whole, fontMetrics(), field.width());
  UpdateToolTip(*this, whole, option.currentText != whole);
  painter.drawComplexControl(QStyle::CC_ComboBox, option);
  painter.drawControl(QStyle::CE_ComboBoxLabel, option);
}

void PathLabel::paintEvent(QPaintEvent*) {
  const QRect area = contentsRect();
  const QFontMetrics metrics = fontMetrics();
  const int maxLines = std::max(1, area.height() / std::max(1, metrics.lineSpacing()));
  const QStringList lines = FitPath(text(), metrics, area.width(), maxLines);
  UpdateToolTip(*this, text(), lines.join(QString()) != text());
  QPainter painter(this);
  const QPalette::ColorRole role = foregroundRole();
  for (int i = 0; i < lines.size(); ++i) {
    const QRect row(area.left(), area.top() + i * metrics.lineSpacing(), area.width(), metrics.lineSpacing());
    style()->drawItemText(&painter, row, Qt::AlignLeft | Qt::AlignTop, palette(), isEnabled(), lines[i], role);
  }
}

}  // namespace mirelo::window
