#include "areacfg/area_tree.h"

#include <map>
#include <memory>
#include <optional>

#include "areacfg/area_files.h"
#include "areacfg/area_options.h"
#include "context/run_context.h"
#include "platform/platform.h"
#include "util/text.h"

namespace kavel {
namespace {

std::optional<AreaKeyword> FidoconfigAreaKeyword(std::string_view upper) {
  if (upper == "ECHOAREA") return AreaKeyword::kEcho;
  if (upper == "LOCALAREA") return AreaKeyword::kLocal;
  if (upper == "NETMAILAREA" || upper == "NETAREA") {
    return AreaKeyword::kNetmail;
  }
  if (upper == "BADAREA") return AreaKeyword::kBad;
  if (upper == "DUPEAREA") return AreaKeyword::kDupe;
  return std::nullopt;
}

std::string_view Unquoted(std::string_view word) {
  if (word.size() >= 2 && word.front() == '"' && word.back() == '"') {
    return word.substr(1, word.size() - 2);
  }
  return word;
}

bool IsPassthroughWord(std::string_view word) {
  return EqualIgnoringCase(word, "passthrough");
}

// The state of a fidoconfig tree as its lines go by.
class FidoconfigAreas {
 public:
  FidoconfigAreas(RunContext& ctx, AreaTree* tree) : ctx_(ctx), tree_(tree) {
    // Above the first EchoAreaDefaults line an area without -b is Squish.
    echoDefaults_.type = 'S';
    echoDefaults_.typeGiven = true;
  }

  void Line(std::string_view line, const TreePlace& place) {
    std::vector<std::string_view> words = SplitAreaWords(line);
    const std::string keyword = UpperText(words[0]);
    if (std::optional<AreaKeyword> kind = FidoconfigAreaKeyword(keyword)) {
      Area(*kind, words, place);
    } else if (keyword == "ECHOAREADEFAULTS") {
      // Each line starts again from the built-in defaults: *.MSG.
      echoDefaults_ = AreaOptions();
      echoDefaults_.type = 'M';
      echoDefaults_.typeGiven = true;
      if (words.size() > 1 && StartsWithOff(words[1])) return;
      ParseDefaults(words, 1, place, &echoDefaults_);
    } else if (keyword == "AREAGROUP" && words.size() > 2) {
      std::vector<std::string>& masks = groups_[UpperText(words[1])];
      if (masks.empty()) groupOrder_.push_back(UpperText(words[1]));
      for (size_t i = 2; i < words.size(); ++i) {
        masks.emplace_back(words[i]);
      }
    } else if (keyword == "AREAGROUPDEFAULTS" && words.size() > 1) {
      AreaOptions group = echoDefaults_;
      ParseDefaults(words, 2, place, &group);
      groupDefaults_[UpperText(words[1])] = group;
    } else if (keyword == "ADDRESS" && words.size() > 1) {
      if (tree_->firstAddress.empty()) tree_->firstAddress = words[1];
    } else if (keyword == "ECHOTOSSLOG" && words.size() > 1) {
      std::string_view rest = line.substr(line.find_first_of(" \t"));
      rest.remove_prefix(rest.find_first_not_of(" \t"));
      tree_->echoTossLog = std::string(Unquoted(rest));
    }
  }

 private:
  static bool StartsWithOff(std::string_view word) {
    return word.size() >= 3 && EqualIgnoringCase(word.substr(0, 3), "off");
  }

  void ParseDefaults(const std::vector<std::string_view>& words, size_t from,
                     const TreePlace& place, AreaOptions* options) {
    AreaNotes notes;
    ParseAreaOptions(words, from, true, options, &notes);
    for (const auto& [error, text] : notes) {
      if (error) {
        LogError(ctx_, text + PlaceText(place));
      } else {
        LogInfo(ctx_, text + PlaceText(place));
      }
    }
  }

  // The defaults an echo, bad or dupe area takes: its group's, when a group
  // mask matches its tag, else EchoAreaDefaults.
  AreaOptions DefaultsFor(std::string_view tag) const {
    for (const std::string& group : groupOrder_) {
      for (const std::string& mask : groups_.at(group)) {
        if (!MaskMatchesIgnoringCase(tag, mask)) continue;
        auto found = groupDefaults_.find(group);
        if (found != groupDefaults_.end()) return found->second;
        AreaOptions zero;
        zero.type = 'S';
        zero.typeGiven = true;
        return zero;
      }
    }
    return echoDefaults_;
  }

  void Area(AreaKeyword kind, const std::vector<std::string_view>& words,
            const TreePlace& place) {
    AreaDefinition area;
    if (words.size() > 1) area.tag = std::string(Unquoted(words[1]));
    if (area.tag.empty()) {
      LogError(ctx_, "Area line without a tag, skipped" + PlaceText(place));
      return;
    }
    area.keyword = kind;
    area.place = place;
    const AreaOptions defaults = DefaultsFor(area.tag);
    AreaOptions options;
    if (kind == AreaKeyword::kLocal || kind == AreaKeyword::kNetmail) {
      options.type = 'S';
      options.typeGiven = true;
      options.description = defaults.description;
    } else {
      options = defaults;
    }
    size_t items = 2;
    if (words.size() > 2 && !(options.passthrough && words[2][0] == '-')) {
      if (IsPassthroughWord(words[2])) {
        options.passthrough = true;
      } else {
        area.basePath = std::string(words[2]);
      }
      items = 3;
    } else if (!options.passthrough) {
      LogError(ctx_,
               "Area " + area.tag + " has no path, skipped" + PlaceText(place));
      return;
    }
    ParseAreaOptions(words, items, false, &options, &area.notes);
    for (auto& note : area.notes) {
      note.second += ", area " + area.tag + PlaceText(place);
    }
    area.passthrough = options.passthrough;
    if (area.passthrough) {
      area.basePath.clear();
    } else if (options.type != 0) {
      area.baseType.assign(1, options.type);
    }
    area.akaText = options.akaText;
    area.description = options.description;
    tree_->areas.push_back(std::move(area));
    const size_t index = tree_->areas.size() - 1;
    tree_->byTag.emplace(UpperText(tree_->areas[index].tag), index);
  }

  RunContext& ctx_;
  AreaTree* tree_;
  AreaOptions echoDefaults_;
  std::map<std::string, std::vector<std::string>> groups_;
  std::vector<std::string> groupOrder_;
  std::map<std::string, AreaOptions> groupDefaults_;
};

std::optional<AreaKeyword> SquishAreaKeyword(std::string_view upper) {
  if (upper == "ECHOAREA") return AreaKeyword::kEcho;
  if (upper == "NETAREA") return AreaKeyword::kNetmail;
  if (upper == "LOCALAREA") return AreaKeyword::kLocal;
  if (upper == "BADAREA") return AreaKeyword::kBad;
  if (upper == "DUPEAREA") return AreaKeyword::kDupe;
  return std::nullopt;
}

void SquishLine(std::string_view line, const TreePlace& place, AreaTree* tree) {
  std::vector<std::string_view> words = SplitAreaWords(line);
  std::optional<AreaKeyword> kind = SquishAreaKeyword(UpperText(words[0]));
  if (!kind || words.size() < 3) return;
  AreaDefinition area;
  area.tag = std::string(words[1]);
  area.keyword = *kind;
  area.place = place;
  area.basePath = std::string(words[2]);
  area.baseType.assign(1, 'M');
  for (size_t i = 3; i < words.size(); ++i) {
    std::string_view word = words[i];
    if (word == "#") area.passthrough = true;
    if (word.size() < 2 || (word[0] != '-' && word[0] != '/')) continue;
    const char flag = UpperChar(word[1]);
    if (word.size() == 2 && flag == '$') area.baseType.assign(1, 'S');
    if (word.size() == 2 && flag == '0') area.passthrough = true;
    if (flag == 'P') area.akaText = std::string(word.substr(2));
  }
  if (area.passthrough) {
    area.basePath.clear();
    area.baseType.clear();
  }
  tree->areas.push_back(std::move(area));
  const size_t index = tree->areas.size() - 1;
  // A later definition replaces an earlier one.
  tree->byTag[UpperText(tree->areas[index].tag)] = index;
}

}  // namespace

std::string_view AreaKeywordName(AreaKeyword keyword) {
  switch (keyword) {
    case AreaKeyword::kEcho:
      return "ECHO";
    case AreaKeyword::kLocal:
      return "LOCAL";
    case AreaKeyword::kNetmail:
      return "NETMAIL";
    case AreaKeyword::kBad:
      return "BAD";
    case AreaKeyword::kDupe:
      return "DUPE";
  }
  return "";
}

bool ReadAreaTree(RunContext& ctx, char kind, std::string_view path,
                  AreaTree* tree) {
  *tree = AreaTree();
  if (kind == kFidoconfigAreas) {
    FidoconfigAreas areas(ctx, tree);
    return ReadConfigTree(ctx, TreeSyntax::kFidoconfig, path,
                          [&](std::string_view line, const TreePlace& place) {
                            areas.Line(line, place);
                          });
  }
  if (kind == kSquishAreas) {
    return ReadConfigTree(ctx, TreeSyntax::kSquish, path,
                          [&](std::string_view line, const TreePlace& place) {
                            SquishLine(line, place, tree);
                          });
  }
  int error = 0;
  return kind == kTerminateAreas && OpenTextReader(path, &error) != nullptr;
}

const AreaDefinition* FindArea(const AreaTree& tree, std::string_view tag) {
  auto found = tree.byTag.find(UpperText(tag));
  return found == tree.byTag.end() ? nullptr : &tree.areas[found->second];
}

}  // namespace kavel
