// The administrative template writes the values the program reads from the policy key, each with
// the type the program reads it as, and no other: a value the template names alone would be set
// by administrators and never read. Well-formedness is policy_templates.py's.

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "app/policy_values.h"

namespace tessard {
namespace {

std::string Template() {
  std::ifstream in(TESSARD_POLICY_TEMPLATE, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::string Attribute(std::string_view tag, std::string_view name) {
  const std::string opening = " " + std::string(name) + "=\"";
  const size_t start = tag.find(opening);
  if (start == std::string_view::npos) return {};
  const size_t from = start + opening.size();
  return std::string(tag.substr(from, tag.find('"', from) - from));
}

std::string Named(std::wstring_view name, PolicyType type) {
  return std::string(name.begin(), name.end()) + (type == PolicyType::Text ? " REG_SZ" : " REG_DWORD");
}

// Every tag with a valueName, and the type it writes: text is REG_SZ, decimal and boolean
// REG_DWORD; a policy's own value and an enum have the type of the values they list.
std::vector<std::string> ValuesNamedIn(const std::string& admx) {
  std::vector<std::string> values;
  for (size_t at = admx.find(" valueName=\""); at != std::string::npos; at = admx.find(" valueName=\"", at + 1)) {
    const size_t open = admx.rfind('<', at);
    const std::string_view tag(admx.data() + open, admx.find('>', at) + 1 - open);
    const std::string element(tag.substr(1, tag.find(' ') - 1));
    const std::string_view body = std::string_view(admx).substr(open, admx.find("</" + element + ">", open) - open);
    const bool text = element == "text" ||
                      (element != "decimal" && element != "boolean" && body.find("<string>") < body.find("<decimal"));
    const std::string name = Attribute(tag, "valueName");
    values.push_back(Named(std::wstring(name.begin(), name.end()), text ? PolicyType::Text : PolicyType::Number));
  }
  std::sort(values.begin(), values.end());
  return values;
}

TEST(PolicyTemplate, NamesEveryPolicyValueWithItsTypeAndNoOther) {
  std::vector<std::string> read;
  for (const PolicyValue& value : kPolicyValues) read.push_back(Named(value.name, value.type));
  std::sort(read.begin(), read.end());
  const std::string admx = Template();
  ASSERT_FALSE(admx.empty()) << TESSARD_POLICY_TEMPLATE;
  EXPECT_EQ(ValuesNamedIn(admx), read);
}

TEST(PolicyTemplate, EveryPolicyIsTheMachinesUnderThePolicyKey) {
  const std::string admx = Template();
  const std::wstring_view keyPath(kPolicyKeyPath);
  int policies = 0;
  for (size_t at = admx.find("<policy "); at != std::string::npos; at = admx.find("<policy ", at + 1), ++policies) {
    const std::string_view tag(admx.data() + at, admx.find('>', at) + 1 - at);
    EXPECT_EQ(Attribute(tag, "class"), "Machine") << tag;
    EXPECT_EQ(Attribute(tag, "key"), std::string(keyPath.begin(), keyPath.end())) << tag;
  }
  EXPECT_GT(policies, 0);
}

}  // namespace
}  // namespace tessard
