#pragma once

#include <array>
#include <string>
#include <string_view>

#include "platform/form.h"

namespace quorvel {

// "Internet WWW Country Suffixes": picks the domain suffix of a country.
class TfrmInternet : public Form {
public:
    struct Country {
        std::string_view code;
        std::string_view name;
    };
    static constexpr std::size_t kCountryCount = 243;
    static const std::array<Country, kCountryCount> kCountries;

    TfrmInternet();

    Control lblAbbreviation, lblCountry, lblNote;
    // One row per country: the code, a tab and the name.
    Control ListBox1;
    Control btOK, btCancel;

    // Selects the first row.
    void FormShow();
    // Takes the selected row and closes with OK; nothing is taken while no
    // row is selected.
    void btOKClick();
    void ListBox1DblClick(int row);
    void btCancelClick();

    // The pick of the last OK: "." and the code ("" after Cancel), and the name.
    std::string suffix;
    std::string countryName;
};

}  // namespace quorvel
