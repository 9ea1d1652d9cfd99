// The codes of the conversion and parameter names. Codes 0 to 4 are the
// time-phased parameters (and the columns of the period cost table); 5 to 7
// exist only as conversion factors.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace mrp {

enum ParameterCode : std::int32_t {
  kRuestKosten = 0,
  kStueckKosten = 1,
  kLosRaster = 2,
  kKapitalbindungsZinssatz = 3,
  kWagnisZinssatz = 4,
  kPeriodenLaenge = 5,
  kZinsJahr = 6,
  kWaehrung = 7,
};

inline constexpr int kParameterCodes = 5;

/// The names, indexed by code, exactly as the database spells them.
inline constexpr std::array<std::string_view, 8> kParameterNames = {
    "RüstKosten",     "StückKosten",   "LosRaster", "KapitalbindungsZinssatz",
    "WagnisZinssatz", "PeriodenLänge", "ZinsJahr",  "Währung"};

}  // namespace mrp
