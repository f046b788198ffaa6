// The drawing primitives of the event pictures: colours, points and
// rectangles, and the Canvas port that a front end implements on its
// drawing surface (an off-screen image, a test raster).
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace zortan {

// A colour as red, green and blue.
struct Colour {
    uint8_t red = 0, green = 0, blue = 0;

    // From the hexadecimal red-green-blue form, e.g. 0xC0DCC0.
    static constexpr Colour fromRgb(uint32_t rgb) {
        return Colour{static_cast<uint8_t>((rgb >> 16) & 0xFF),
                      static_cast<uint8_t>((rgb >> 8) & 0xFF), static_cast<uint8_t>(rgb & 0xFF)};
    }
    constexpr uint32_t rgb() const {
        return (uint32_t{red} << 16) | (uint32_t{green} << 8) | uint32_t{blue};
    }
    friend constexpr bool operator==(Colour, Colour) = default;
};

// The fixed colours of the pictures.
constexpr Colour kBlack = Colour::fromRgb(0x000000);
constexpr Colour kWhite = Colour::fromRgb(0xFFFFFF);
constexpr Colour kBlue = Colour::fromRgb(0x0000FF);
constexpr Colour kRed = Colour::fromRgb(0xFF0000);
constexpr Colour kLime = Colour::fromRgb(0x00FF00);
constexpr Colour kLightGreen = Colour::fromRgb(0xC0DCC0);  // every second row
// The window's face colour, the background before the first row is drawn.
constexpr Colour kWindowFace = Colour::fromRgb(0xF0F0F0);

// Frames and rows.
constexpr Colour kFrameDark = kBlack;
constexpr Colour kFrameLight = kWhite;
constexpr Colour kRowColour1 = kWhite;
constexpr Colour kRowColour2 = kLightGreen;
constexpr Colour kRecognisedText = kBlue;
constexpr Colour kCentredVector = kLime;
constexpr Colour kMarkerLine = kWhite;
// The five pen colours of the plots, set once at start: colour 1 to colour 5.
constexpr std::array<Colour, 5> kPlotColours{kBlue, kBlack, kRed, kBlue, kRed};

// A point in window coordinates (x to the right, y downwards).
struct Point {
    int x = 0, y = 0;
    friend constexpr bool operator==(Point, Point) = default;
};

// A rectangle in window coordinates; right and bottom lie just outside it.
struct Rect {
    int left = 0, top = 0, right = 0, bottom = 0;
    friend constexpr bool operator==(const Rect&, const Rect&) = default;
};

// The drawing surface. Implementations draw the primitives; the pen (its
// colour and position) belongs to the surface and persists between
// pictures, as the curves' baselines take the colour the pen last had.
class Canvas {
  public:
    virtual ~Canvas() = default;

    // Paints every pixel of `r`.
    virtual void fillRect(const Rect& r, Colour colour) = 0;
    // Paints the one-pixel outline of `r` (its outermost pixels).
    virtual void frameRect(const Rect& r, Colour colour) = 0;
    // A straight line; both end points are painted.
    virtual void line(Point from, Point to, Colour colour) = 0;
    // Writes `text` with its top left corner at `at`, in `ink` on an opaque
    // `background`; returns the x just after the text.
    virtual int text(Point at, const std::string& text, Colour ink, Colour background) = 0;
    // Gives the area back to the window: whatever the window shows there
    // without pictures.
    virtual void erase(const Rect& r) = 0;
    // The width `text` would take, the height of a line of text, and the
    // width of the widest single-byte character.
    virtual int textWidth(const std::string& text) = 0;
    virtual int textHeight() = 0;
    virtual int widestCharacterWidth() = 0;

    // An outlined and filled rectangle; the pen takes the outline colour.
    void rectangle(const Rect& r, Colour outline, Colour fill) {
        fillRect(r, fill);
        frameRect(r, outline);
        penColour_ = outline;
    }

    Colour penColour() const { return penColour_; }
    void setPenColour(Colour colour) { penColour_ = colour; }
    Point penPosition() const { return penPosition_; }
    void moveTo(Point p) { penPosition_ = p; }
    // A line in the pen colour from the pen position to `p`, which becomes
    // the pen position.
    void lineTo(Point p) {
        line(penPosition_, p, penColour_);
        penPosition_ = p;
    }

  private:
    Colour penColour_ = kBlack;
    Point penPosition_;
};

}  // namespace zortan
