#pragma once
// The unit's parameter store as its firmware sees it: which keys a unit of a given model
// and firmware holds, in the order it reports them, which values it accepts, and the
// factory and preset values the simulated units start with.
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace sim {

// Ordinal comparison of version texts, as the firmware family gates are defined.
bool VersionAtLeast(std::string_view version, std::string_view threshold);
// Six characters, at least "201020" (newer unsupported firmware included): "KIND".
bool HasKind(std::string_view firmware);
// Six characters, at least "201033" (newer unsupported firmware included): "LANGUAGE".
bool HasLanguage(std::string_view firmware);
// Six-character firmware answers "GSER"; the three-character family only uploads its file.
bool HasSerialCommand(std::string_view firmware);

// Keys held by a unit, in report order: the counted ones of its firmware family plus the
// uncounted ones a real unit reports too ("ChannelChangeSw" from 201020, "PhoneOutVolTrx"
// from 201033, "TxModeSw" on "DW730 VELMORAS_SPECIAL"). The last key is always counted,
// so a reader that stops at its count has consumed every reply.
std::vector<std::string> KeysFor(std::string_view model, std::string_view firmware);
// How many of those keys the tool counts: 7, 8, 9, 10, 12 or 13.
int CountedKeys(std::string_view firmware);
bool IsCountedKey(std::string_view key);

// Checks a value text for a key and gives the form the unit stores and reports
// (integers and reals in shortest plain decimal, point as separator); nullopt when the
// unit would refuse it.
std::optional<std::string> NormaliseValue(std::string_view key, std::string_view value);
// A known key whose letters match regardless of case ("VOXsw" finds "VOXSw").
std::optional<std::string> CanonicalKey(std::string_view key);

class ParamSet {
  public:
    using Entry = std::pair<std::string, std::string>;

    ParamSet() = default;
    explicit ParamSet(std::vector<Entry> entries) : entries_(std::move(entries)) {}

    const std::vector<Entry>& Entries() const { return entries_; }
    bool Has(std::string_view key) const;
    std::optional<std::string> Get(std::string_view key) const;
    // Replaces the value of a key the set holds; false (and no change) for any other key.
    bool Set(std::string_view key, std::string value);

    bool operator==(const ParamSet&) const = default;

  private:
    std::vector<Entry> entries_;
};

// The factory values of a unit, and the values a preset unit is found holding (every
// setting different from the factory one, so that a restore is visible).
ParamSet FactorySet(std::string_view model, std::string_view firmware);
ParamSet PresetCurrentSet(std::string_view model, std::string_view firmware);

} // namespace sim
