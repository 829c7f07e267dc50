#pragma once
// CenterForm: places a window that is about to be shown over its owner or the main window.

#include <optional>

namespace zl {

enum class WindowPosition { Designed, ScreenCenter, MainFormCenter, OwnerFormCenter };

struct ScreenBounds {
  int left = 0, top = 0, width = 0, height = 0;
};

// What CenterForm needs of a window.
class ICenterableForm {
 public:
  virtual ~ICenterableForm() = default;
  virtual WindowPosition Position() const = 0;
  virtual ScreenBounds Bounds() const = 0;
  virtual void MoveTo(int left, int top) = 0;
  // The owner's bounds when the owner is a form of ours.
  virtual std::optional<ScreenBounds> OwnerBounds() const = 0;
  // The application's main window, when there is one.
  virtual std::optional<ScreenBounds> MainFormBounds() const = 0;
};

void CenterForm(ICenterableForm& form);

// Rounds to the nearest integer, halves to the even neighbour.
int RoundHalfEven(double value);

}  // namespace zl
