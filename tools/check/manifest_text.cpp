#include "manifest_text.h"

#include <string>
#include <vector>

namespace clasp::check {
namespace {

struct Attribute {
  std::string_view name;
  std::string_view value;
};

// One tag: `<name a="1">`, `</name>` (closing) or `<name/>`.
struct Tag {
  std::string_view name;  // without a namespace prefix
  bool closing = false;
  bool empty = false;
  std::vector<Attribute> attributes;

  std::string_view Get(std::string_view wanted) const {
    for (const Attribute& attribute : attributes) {
      if (attribute.name == wanted) return attribute.value;
    }
    return {};
  }
};

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string_view LocalName(std::string_view name) {
  const auto colon = name.find(':');
  return colon == std::string_view::npos ? name : name.substr(colon + 1);
}

// `body` is what lies between '<' and '>'.
Tag ParseTag(std::string_view body) {
  Tag tag;
  if (!body.empty() && body.front() == '/') {
    tag.closing = true;
    body.remove_prefix(1);
  }
  if (!body.empty() && body.back() == '/') {
    tag.empty = true;
    body.remove_suffix(1);
  }
  std::size_t at = 0;
  while (at < body.size() && !IsSpace(body[at])) ++at;
  tag.name = LocalName(body.substr(0, at));
  while (at < body.size()) {
    while (at < body.size() && IsSpace(body[at])) ++at;
    const std::size_t name_start = at;
    while (at < body.size() && body[at] != '=' && !IsSpace(body[at])) ++at;
    const std::string_view name = body.substr(name_start, at - name_start);
    while (at < body.size() && (IsSpace(body[at]) || body[at] == '=')) ++at;
    if (at >= body.size() || (body[at] != '"' && body[at] != '\'')) break;
    const char quote = body[at++];
    const std::size_t end = body.find(quote, at);
    if (end == std::string_view::npos) break;
    tag.attributes.push_back({LocalName(name), body.substr(at, end - at)});
    at = end + 1;
  }
  return tag;
}

// Every element tag in document order; comments and declarations skipped.
std::vector<Tag> Tags(std::string_view text) {
  std::vector<Tag> tags;
  std::size_t at = 0;
  while ((at = text.find('<', at)) != std::string_view::npos) {
    if (text.substr(at).starts_with("<!--")) {
      const std::size_t end = text.find("-->", at);
      if (end == std::string_view::npos) break;
      at = end;
      continue;
    }
    const std::size_t end = text.find('>', at);
    if (end == std::string_view::npos) break;
    const std::string_view body = text.substr(at + 1, end - at - 1);
    if (!body.empty() && body.front() != '?' && body.front() != '!') {
      tags.push_back(ParseTag(body));
    }
    at = end + 1;
  }
  return tags;
}

AssemblyIdentity IdentityOf(const Tag& tag) {
  return {std::string(tag.Get("name")), std::string(tag.Get("version")),
          std::string(tag.Get("processorArchitecture"))};
}

}  // namespace

bool SameText(std::string_view first, std::string_view second) {
  if (first.size() != second.size()) return false;
  const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
  for (std::size_t i = 0; i < first.size(); ++i) {
    if (lower(first[i]) != lower(second[i])) return false;
  }
  return true;
}

std::optional<AssemblyIdentity> OwnIdentity(std::string_view manifest) {
  int dependency_depth = 0;
  for (const Tag& tag : Tags(manifest)) {
    if (tag.name == "dependency" && !tag.empty) dependency_depth += tag.closing ? -1 : 1;
    if (dependency_depth == 0 && !tag.closing && tag.name == "assemblyIdentity") {
      return IdentityOf(tag);
    }
  }
  return std::nullopt;
}

std::optional<AssemblyIdentity> DependencyOn(std::string_view manifest, std::string_view name) {
  int dependency_depth = 0;
  for (const Tag& tag : Tags(manifest)) {
    if (tag.name == "dependency" && !tag.empty) dependency_depth += tag.closing ? -1 : 1;
    if (dependency_depth > 0 && !tag.closing && tag.name == "assemblyIdentity" &&
        tag.Get("name") == name) {
      return IdentityOf(tag);
    }
  }
  return std::nullopt;
}

bool DeclaresClass(std::string_view manifest, std::string_view file, std::string_view clsid) {
  bool in_file = false;
  for (const Tag& tag : Tags(manifest)) {
    if (tag.name == "file") {
      in_file = !tag.closing && !tag.empty && SameText(tag.Get("name"), file);
    } else if (in_file && !tag.closing && tag.name == "comClass" &&
               SameText(tag.Get("clsid"), clsid)) {
      return true;
    }
  }
  return false;
}

}  // namespace clasp::check
