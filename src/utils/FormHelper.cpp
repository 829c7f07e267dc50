#include "utils/FormHelper.h"

#include <cmath>

namespace zl {

int RoundHalfEven(double value) {
  double floor = std::floor(value);
  double diff = value - floor;
  if (diff > 0.5) return static_cast<int>(floor) + 1;
  if (diff < 0.5) return static_cast<int>(floor);
  long f = static_cast<long>(floor);
  return static_cast<int>(f % 2 == 0 ? f : f + 1);
}

void CenterForm(ICenterableForm& form) {
  std::optional<ScreenBounds> ref;
  switch (form.Position()) {
    case WindowPosition::MainFormCenter:
      ref = form.MainFormBounds();
      break;
    case WindowPosition::OwnerFormCenter:
      ref = form.OwnerBounds();
      break;
    default:
      return;
  }
  if (!ref) return;
  ScreenBounds b = form.Bounds();
  form.MoveTo(ref->left + RoundHalfEven((ref->width - b.width) / 2.0),
              ref->top + RoundHalfEven((ref->height - b.height) / 2.0));
}

}  // namespace zl
