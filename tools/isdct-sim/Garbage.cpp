#include "Garbage.h"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace isdct_sim {
namespace {

// xorshift64*: small, fast and the same everywhere.
class Noise {
 public:
  explicit Noise(const std::string& seed) {
    m_State = 14695981039346656037ull;  // FNV-1a of the seed
    for (unsigned char c : seed) m_State = (m_State ^ c) * 1099511628211ull;
    if (m_State == 0) m_State = 1;
  }
  uint64_t Next() {
    m_State ^= m_State >> 12;
    m_State ^= m_State << 25;
    m_State ^= m_State >> 27;
    return m_State * 2685821657736338717ull;
  }
  char Between(unsigned lo, unsigned hi) { return static_cast<char>(lo + Next() % (hi - lo + 1)); }

 private:
  uint64_t m_State;
};

using Lines = std::vector<std::string>;

// Lines that a careless reader could take for key lines of the command.
Lines NearMisses(Command command) {
  switch (command) {
    case Command::kShow:
      return {"- Intelssd PHFT0000000A400BGN -",
              " - IntelSSD PHFT0000000A400BGN -",
              "-IntelSSD",
              "Index:0",
              "Index: 0 ",
              "index: 1",
              "Index: -1",
              "Index: 0x2",
              "Index : 3",
              "ModelNumber:INTEL SSDPEDMD400G4",
              "SerialNumber : PHFT0000000A400BGN",
              "MaximumLBA: 12a",
              "SectorSize: 512 bytes",
              "Bootloader: ",
              "TempThreshold 85 degree C"};
    case Command::kVersion:
      return {"Version:3.0.2", "version: 3.0.2", " Version: 3.0.2", "Versions: 3.0.2",
              "VERSION: 3.0.2"};
    case Command::kLog2:
      return {"Critical Warnings: 1F",
              "Critical Warnings:0x1F",
              "Critical Warnings: 0x",
              "Critical Warnings: 0x1G",
              "Critical  Warnings: 0x1F",
              "Available Spare Space has fallen below the threshold: one",
              "Temperature has exceeded a critical threshold: yes",
              "Device reliability has degraded: 0.5",
              "Media is in a read-only mode:1",
              "Volatile memory backup device has failed: 1 ",
              "Available Spare Threshold Percentage: -10",
              "Percentage Used: 5%",
              "Percentage Used : 5",
              "Data Units Read: 12345",
              "Data Units Written: 0x-1",
              "Power On Hours 0x10",
              "Media Errors: 0x 0"};
    case Command::kLog197:
      return {"Current Temperature: 31 C", "Current Temperature:31", "Current Temperature: -4",
              "Current Temperature: 0x1F", "Current Temp: 31",       "CurrentTemperature: 31",
              "Current Temperature : 31"};
    case Command::kLog202:
      return {"ID: EA",
              "Description: Thermal Throttle Status",
              "Normalized:100",
              "Raw: 0x0",
              "ID: EA",
              "Description: Thermal Throttle Status ",
              "Normalized: 100",
              "Raw: 0x0",
              "ID: EA",
              "Description: Thermal Throttle Status",
              "Normalized: 100",
              "Raw: 00",
              "ID: AD",
              "Description: Wear Leveling Count",
              "Normalized: 99",
              "Raw: 0x0",
              "ID: AD",
              "Description: Wear Leveling Count: ",
              "99",
              "Raw 0x0",
              "ID:AD",
              "Description: Wear Leveling Count: 99",
              "Raw: 0x0"};
    case Command::kFormat:
    case Command::kDelete:
    case Command::kSet:
      return {"Status : succesful", "Status : success-ful", "Status : S U C C E S S F U L",
              "Status : Succeeded"};
  }
  return {};
}

// A key line with a NUL byte and more text after its value: whole, it is not
// a key line, but a reader that stops at the NUL would take it for one.
std::string NulTrap(Command command) {
  const std::string junk = std::string(1, '\0') + "junk";
  switch (command) {
    case Command::kShow:
      return "Index: 7" + junk;
    case Command::kLog2:
      return "Percentage Used: 7" + junk;
    case Command::kLog197:
      return "Current Temperature: 99" + junk;
    default:
      return "~" + junk;
  }
}

}  // namespace

std::string Garbage(Command command, const std::string& seed) {
  Noise noise(std::string(CommandName(command)) + "/" + seed);
  const Lines misses = NearMisses(command);
  const std::size_t half = misses.size() / 2;
  std::string text;
  for (std::size_t i = 0; i < half; ++i) text += misses[i] + "\n";

  std::string high;
  for (int i = 0; i < 200; ++i) high += noise.Between(0x80, 0xFF);
  text += high + "\n";
  for (int i = 0; i < 3; ++i) {
    std::string line = "~ line " + std::to_string(i) + " ends in CR-LF ";
    for (int k = 0; k < 20; ++k) line += noise.Between('!', '~');
    text += line + "\r\n";
  }
  text += std::string("~ NUL") + '\0' + "inside" + '\0' + "\n";
  text += NulTrap(command) + "\n";

  // Printable noise, eight characters from each random number.
  std::string longLine((1u << 20) + 17, '~');
  for (std::size_t i = 1; i < longLine.size(); i += 8) {
    uint64_t bits = noise.Next();
    for (std::size_t k = i; k < std::min(i + 8, longLine.size()); ++k, bits >>= 8) {
      longLine[k] = static_cast<char>('!' + (bits & 0xFF) % 94);
    }
  }
  text += longLine + "\n";

  for (std::size_t i = half; i < misses.size(); ++i) text += misses[i] + "\n";
  text += "~ the last line has no line feed";
  return text;
}

}  // namespace isdct_sim
