#include "host/viewers/figure_titles.hpp"

#include <cctype>
#include <filesystem>
#include <map>
#include <regex>
#include <sstream>
#include <vector>

namespace orvanta::viewers {
namespace {

std::string lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// Words that the plotting scripts abbreviate in file names.
const std::map<std::string, std::string>& word_spellings() {
  static const std::map<std::string, std::string> words = {
      {"cfd", "CFD"}, {"cd", "Cd"},   {"cl", "Cl"},   {"cm", "Cm"},
      {"cp", "Cp"},   {"2d", "2D"},   {"3d", "3D"},   {"opt", "optimization"},
      {"hst", "history"}, {"stl", "STL"}, {"vsp", "VSP"}, {"vtk", "VTK"}};
  return words;
}

// Station suffixes are real-number texts with "." written "p" and "-" written "m".
std::string station_text(const std::string& word) {
  static const std::regex station(R"(y(m?)(\d+)(?:p(\d+))?(?:e(m?)(\d+))?)");
  std::smatch m;
  if (!std::regex_match(word, m, station)) return "";
  std::string number = (m[1].matched && m[1].length() ? "-" : "") + m[2].str();
  if (m[3].matched) number += "." + m[3].str();
  if (m[5].matched) number += "e" + std::string(m[4].length() ? "-" : "") + m[5].str();
  return "y = " + number;
}

std::vector<std::string> split_words(const std::string& stem) {
  std::vector<std::string> words;
  std::string current;
  for (char c : stem) {
    if (c == '_' || c == '-' || c == ' ' || c == '.') {
      if (!current.empty()) words.push_back(current);
      current.clear();
    } else {
      current += c;
    }
  }
  if (!current.empty()) words.push_back(current);
  return words;
}

}  // namespace

std::string title_from_file_name(const std::string& path) {
  const std::string stem = std::filesystem::path(path).stem().string();
  std::vector<std::string> words = split_words(stem);
  if (words.empty()) return stem;
  for (auto& w : words) {
    if (auto s = station_text(w); !s.empty()) {
      w = s;
    } else if (auto it = word_spellings().find(lower(w)); it != word_spellings().end()) {
      w = it->second;
    }
  }
  std::string title;
  for (const auto& w : words) title += (title.empty() ? "" : " ") + w;
  if (std::islower(static_cast<unsigned char>(title[0])))
    title[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(title[0])));
  return title;
}

std::string page_title(const std::string& page) { return title_from_file_name(page) + " figures"; }

}  // namespace orvanta::viewers
