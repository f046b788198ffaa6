#include "app/desktop/ImageCanvas.h"

#include <QFontMetrics>
#include <QPainter>
#include <algorithm>

namespace zortan::desktop {

namespace {

QRect toQRect(const Rect& r) {
    return QRect(r.left, r.top, r.right - r.left, r.bottom - r.top);
}

}  // namespace

QColor toQColor(Colour c) {
    return QColor(c.red, c.green, c.blue);
}

Colour fromQColor(QColor c) {
    return Colour{static_cast<uint8_t>(c.red()), static_cast<uint8_t>(c.green()),
                  static_cast<uint8_t>(c.blue())};
}

ImageCanvas::ImageCanvas(QSize size) : image_(size, QImage::Format_RGB32) {
    image_.fill(toQColor(kWindowFace));
    font_.setFamily("DejaVu Sans");
    font_.setPixelSize(11);
    // Crisp glyphs in the ink colour, as on the pictures' original surface.
    font_.setStyleStrategy(QFont::NoAntialias);
    const QFontMetrics metrics(font_);
    for (int c = 32; c < 256; ++c) widest_ = std::max(widest_, metrics.horizontalAdvance(QChar(c)));
}

void ImageCanvas::growTo(QSize size) {
    const QSize wanted = size.expandedTo(image_.size());
    if (wanted == image_.size()) return;
    QImage bigger(wanted, QImage::Format_RGB32);
    bigger.fill(toQColor(kWindowFace));
    QPainter painter(&bigger);
    painter.drawImage(0, 0, image_);
    painter.end();
    image_ = std::move(bigger);
}

void ImageCanvas::touched(const QRect& r) {
    ++draws_;
    drawn_ |= r & image_.rect();
    if (changed) changed(r);
}

void ImageCanvas::fillRect(const Rect& r, Colour colour) {
    if (r.right <= r.left || r.bottom <= r.top) return;
    QPainter painter(&image_);
    painter.fillRect(toQRect(r), toQColor(colour));
    touched(toQRect(r));
}

void ImageCanvas::frameRect(const Rect& r, Colour colour) {
    if (r.right <= r.left || r.bottom <= r.top) return;
    // The four edges as filled strips: exactly the outermost pixels.
    const QColor c = toQColor(colour);
    const int w = r.right - r.left, h = r.bottom - r.top;
    QPainter painter(&image_);
    painter.fillRect(QRect(r.left, r.top, w, 1), c);
    painter.fillRect(QRect(r.left, r.bottom - 1, w, 1), c);
    painter.fillRect(QRect(r.left, r.top, 1, h), c);
    painter.fillRect(QRect(r.right - 1, r.top, 1, h), c);
    touched(toQRect(r));
}

void ImageCanvas::line(Point from, Point to, Colour colour) {
    QPainter painter(&image_);
    painter.setRenderHint(QPainter::Antialiasing, false);
    QPen pen(toQColor(colour));
    pen.setWidth(1);
    pen.setCapStyle(Qt::SquareCap);
    painter.setPen(pen);
    const QPoint a(from.x, from.y), b(to.x, to.y);
    painter.drawLine(a, b);
    // Both end points belong to the line.
    painter.drawPoint(a);
    painter.drawPoint(b);
    touched(QRect(a, b).normalized().adjusted(-1, -1, 1, 1));
}

namespace {
// One glyph per byte: the texts are single-byte characters.
QString latin1(const std::string& text) {
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}
}  // namespace

int ImageCanvas::textWidth(const std::string& text) {
    return QFontMetrics(font_).horizontalAdvance(latin1(text));
}

int ImageCanvas::textHeight() {
    return QFontMetrics(font_).height();
}

int ImageCanvas::text(Point at, const std::string& text, Colour ink, Colour background) {
    const QString s = latin1(text);
    const QFontMetrics metrics(font_);
    const int width = metrics.horizontalAdvance(s);
    const QRect box(at.x, at.y, width, metrics.height());
    QPainter painter(&image_);
    painter.setFont(font_);
    painter.fillRect(box, toQColor(background));
    painter.setPen(toQColor(ink));
    painter.drawText(QPoint(at.x, at.y + metrics.ascent()), s);
    touched(box);
    return at.x + width;
}

void ImageCanvas::erase(const Rect& r) {
    if (r.right <= r.left || r.bottom <= r.top) return;
    QPainter painter(&image_);
    painter.fillRect(toQRect(r), toQColor(kWindowFace));
    touched(toQRect(r));
}

}  // namespace zortan::desktop
