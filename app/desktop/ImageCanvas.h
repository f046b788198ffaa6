// The pictures' drawing surface on Qt: an off-screen image that the window
// shows, so that the pictures survive repaints.
#pragma once

#include <QFont>
#include <QImage>
#include <QRect>
#include <cstdint>
#include <functional>

#include "plots/Skribo.h"

namespace zortan::desktop {

QColor toQColor(Colour colour);
Colour fromQColor(QColor colour);

class ImageCanvas : public Canvas {
  public:
    explicit ImageCanvas(QSize size);

    const QImage& image() const { return image_; }
    // The pixel at (x, y) in window coordinates.
    Colour pixel(int x, int y) const { return fromQColor(image_.pixelColor(x, y)); }
    // Grows the surface to at least `size`; what is drawn stays.
    void growTo(QSize size);
    const QFont& font() const { return font_; }

    // The smallest rectangle that holds everything drawn so far.
    QRect drawnBounds() const { return drawn_; }
    // How many primitives have been drawn so far.
    uint64_t drawCount() const { return draws_; }
    // Told the rectangle of every primitive drawn, so the view can repaint it.
    std::function<void(const QRect&)> changed;

    void fillRect(const Rect& r, Colour colour) override;
    void frameRect(const Rect& r, Colour colour) override;
    void line(Point from, Point to, Colour colour) override;
    int text(Point at, const std::string& text, Colour ink, Colour background) override;
    void erase(const Rect& r) override;
    int textWidth(const std::string& text) override;
    int textHeight() override;
    int widestCharacterWidth() override { return widest_; }

  private:
    void touched(const QRect& r);

    QImage image_;
    QFont font_;
    int widest_ = 0;
    QRect drawn_;
    uint64_t draws_ = 0;
};

}  // namespace zortan::desktop
