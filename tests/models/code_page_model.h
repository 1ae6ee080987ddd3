// A model of the system's ANSI code page and drive names: code page 1252 with
// the best-fit letters its 8-bit calls pick, or 932 with its lead bytes and a
// few of its double-byte characters.
#pragma once

#include <map>
#include <string>

#include "watch/ports.h"

class CodePageModel : public PathSystem {
  public:
    explicit CodePageModel(int codePage = 1252);

    int WideToAnsi(const char16_t* wide, int length, char* out, int outSize,
                   bool* usedDefault) const override;
    bool IsLeadByte(unsigned char lead) const override;
    std::string DeviceOfDrive(char letter) const override;

    //! What the system's 8-bit calls give for `wide`: best fit where the code
    //! page has a look-alike letter, '?' where it has none.
    std::string EightBitCall(const std::u16string& wide) const;

    //! The device of each drive letter.
    std::map<char, std::string> drives = {{'C', "\\Device\\HarddiskVolume1"},
                                          {'Z', "\\Device\\HarddiskVolume2"}};
    mutable int conversions = 0;
    mutable int deviceLookups = 0;

  private:
    int m_codePage;
    std::map<char16_t, std::string> m_characters;  // beyond ASCII
    std::map<char16_t, char> m_bestFit;
};
