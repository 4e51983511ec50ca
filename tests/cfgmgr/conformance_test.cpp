// The public JSON parsing test suite run through Load: files named "n_"
// must be refused, "y_" files with an object or array root must load and
// survive writing and reading back, "i_" files may go either way and their
// outcome is recorded.
#include "scratch.h"
#include "value_support.h"

#include <algorithm>
#include <filesystem>
#include <map>
#include <set>

namespace {

using namespace Vantor_cfgmgr;
using test_support::ScratchDir;

const std::filesystem::path kSuite = R9050_JSON_CONFORMANCE_DIR;

// Valid JSON that this library refuses on purpose: a name repeated in one
// object (the second would silently replace the first), and a NUL inside a
// name (names are C texts).
const std::set<std::string> kRefusedValid = {
    "y_object_duplicated_key.json",
    "y_object_duplicated_key_and_value.json",
    "y_object_escaped_null_in_key.json",
};

std::vector<std::string> suiteFiles()
{
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(kSuite, ec)) {
        std::string name = entry.path().filename().string();
        if (entry.is_regular_file() && name.size() > 5 && name.ends_with(".json")) {
            names.push_back(name);
        }
    }
    std::sort(names.begin(), names.end());
    if (names.empty()) {
        names.push_back("(suite missing)");
    }
    return names;
}

// The first byte that is not JSON white space, read as bytes.
char firstSignificantByte(const std::string& bytes)
{
    for (char c : bytes) {
        if (c != ' ' && c != '\t' && c != '\n' && c != '\r') {
            return c;
        }
    }
    return '\0';
}

struct Attempt {
    Ref<ValueGeneric> tree;
    std::string failure; // exception text, empty when loaded
    std::string diagnosis;
};

Attempt tryLoad(const std::string& path)
{
    Attempt a;
    testing::internal::CaptureStderr();
    try {
        a.tree.reset(ValueGeneric::Load(path.c_str()));
    } catch (const std::exception& e) {
        a.failure = e.what();
    }
    a.diagnosis = testing::internal::GetCapturedStderr();
    return a;
}

// Writes the tree back, loads the text again and compares.
void expectRoundTrip(const ValueGeneric& tree)
{
    rapidjson::StringBuffer buffer;
    Writer writer(buffer);
    ASSERT_TRUE(tree.Write(&writer));
    ScratchDir dir;
    std::string again = dir.write("again.json", std::string(buffer.GetString(), buffer.GetSize()));
    Attempt reread = tryLoad(again);
    ASSERT_TRUE(reread.tree) << reread.diagnosis;
    EXPECT_TRUE(reread.tree->IsEqualTo(&tree)) << buffer.GetString();
}

class JsonConformance : public testing::TestWithParam<std::string> {};

TEST_P(JsonConformance, Load)
{
    const std::string& name = GetParam();
    if (name == "(suite missing)") {
        GTEST_SKIP() << "no conformance suite at " << kSuite;
    }
    std::string path = (kSuite / name).string();
    std::string bytes = ScratchDir::readFile(path);
    Attempt a = tryLoad(path);

    switch (name[0]) {
    case 'n':
        EXPECT_FALSE(a.tree) << "accepted invalid JSON: " << bytes;
        EXPECT_FALSE(a.failure.empty());
        // A diagnosis: the parse error line, or (empty file) the exception.
        EXPECT_TRUE(a.diagnosis.find("*** JSON Parse Error") != std::string::npos || a.failure == "fileName empty")
            << a.failure << " / " << a.diagnosis;
        break;
    case 'y': {
        char first = firstSignificantByte(bytes);
        bool container = first == '{' || first == '[';
        if (!container || kRefusedValid.count(name) != 0) {
            EXPECT_FALSE(a.tree) << "scalar roots and the listed files are refused";
            EXPECT_EQ(a.failure, "JSON Parse Error");
            break;
        }
        ASSERT_TRUE(a.tree) << a.failure << " / " << a.diagnosis;
        expectRoundTrip(*a.tree);
        break;
    }
    case 'i':
        RecordProperty("outcome", a.tree ? "accepted" : "refused");
        std::printf("implementation-defined %s: %s\n", name.c_str(), a.tree ? "accepted" : "refused");
        if (a.tree) {
            expectRoundTrip(*a.tree);
        } else {
            EXPECT_FALSE(a.diagnosis.empty());
        }
        break;
    default:
        FAIL() << "unexpected file name " << name;
    }
}

std::string testName(const testing::TestParamInfo<std::string>& info)
{
    std::string out;
    for (char c : info.param) {
        out += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
    }
    return out + "_" + std::to_string(info.index);
}

INSTANTIATE_TEST_SUITE_P(Suite, JsonConformance, testing::ValuesIn(suiteFiles()), testName);

} // namespace
