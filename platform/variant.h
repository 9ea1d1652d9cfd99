// A tagged value in the manner of the OLE Automation VARIANT: the kind tag and
// its payload. Database column values, bound parameter values and the plan's
// dates travel in it. Copying a VARIANT copies its payload (VariantCopy);
// clear() makes it empty again (VariantClear); a new one is empty (VariantInit).
#pragma once

#include <cstdint>
#include <string>

#include "platform/ole_date.h"

namespace mrp {

/// The kind tags, numbered as OLE Automation numbers them.
enum VARTYPE : std::uint16_t {
  VT_EMPTY = 0,
  VT_NULL = 1,
  VT_I2 = 2,
  VT_I4 = 3,
  VT_R4 = 4,
  VT_R8 = 5,
  VT_DATE = 7,
  VT_BSTR = 8,
  VT_ERROR = 10,
  VT_BOOL = 11,
  VT_UI1 = 17,
  /// A database value of a type that no getter reads (BIGINT, binary, ...).
  VT_UNSUPPORTED = 0xFFFF,
};

struct VARIANT {
  VARTYPE vt = VT_EMPTY;
  /// Payload of VT_I4, VT_I2, VT_UI1, VT_ERROR and VT_BOOL (-1 true, 0 false).
  std::int32_t lVal = 0;
  /// Payload of VT_R8, VT_R4 and VT_DATE.
  double dblVal = 0.0;
  /// Payload of VT_BSTR (UTF-16).
  std::u16string bstrVal;

  /// Back to empty, releasing any text.
  void clear() noexcept {
    vt = VT_EMPTY;
    lVal = 0;
    dblVal = 0.0;
    bstrVal.clear();
    bstrVal.shrink_to_fit();
  }

  static VARIANT null() { return VARIANT{VT_NULL, 0, 0.0, {}}; }
  static VARIANT int32(std::int32_t v) { return VARIANT{VT_I4, v, 0.0, {}}; }
  static VARIANT real(double v) { return VARIANT{VT_R8, 0, v, {}}; }
  static VARIANT date(OleDate v) { return VARIANT{VT_DATE, 0, v, {}}; }
  static VARIANT text(std::u16string v) { return VARIANT{VT_BSTR, 0, 0.0, std::move(v)}; }

  friend bool operator==(const VARIANT&, const VARIANT&) = default;
};

}  // namespace mrp
