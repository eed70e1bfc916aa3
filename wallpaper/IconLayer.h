// The desktop icons as the live wallpaper can switch them: by stacking its
// own window above or below a see-through icon layer. Such a hiding cannot
// outlive the program, because the window goes with it.
#pragma once

enum class TIconLayer {
  ilNone,         // no icons to hide (no desktop window, or not attached)
  ilOpaque,       // icons on a desktop that paints its own background: covered while playing
  ilTransparent,  // a see-through icon layer: the icons can be hidden and shown
};

class IIconLayer {
 public:
  virtual ~IIconLayer() = default;
  virtual TIconLayer IconLayer() const = 0;
  // The wallpaper lies above the icon layer because the icons were hidden.
  virtual bool IconsCovered() const = 0;
  // Stacks the wallpaper above (`cover`) or below the icon layer; true when it is there.
  virtual bool CoverIcons(bool cover) = 0;
};

// The desktop before the program's wallpaper window exists (at program
// start): nothing of ours can cover the icons.
class TNoWallpaperLayer : public IIconLayer {
 public:
  TIconLayer IconLayer() const override { return TIconLayer::ilNone; }
  bool IconsCovered() const override { return false; }
  bool CoverIcons(bool) override { return false; }
};
