// Random sequences of saves, depth changes and steps, checked after every
// operation against a plain model of what must be on disk: the documents'
// contents, oldest first, with nothing lost but what retention retires, under
// gap-free numbers that never pass 999. Some stores also hold stray names;
// those that count as numbers change what retention does, so there only the
// invariants are checked: no box, strays untouched, an unchanged save changes
// nothing, a changed one loses two snapshots at most and leaves the store no
// larger than its depth or its size before.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <random>

#include "support/sim.h"

namespace vornel::test {
namespace {

struct Model {
    std::vector<std::string> contents;  // oldest first
    int depth = 3;

    void Save(const std::string& content, int depthInForce) {
        if (!contents.empty() && contents.back() == content) return;
        const int count = static_cast<int>(contents.size());
        if (count > 0 && depthInForce >= 1 && count >= depthInForce) {
            contents.erase(contents.begin());
            if (count > depthInForce) contents.erase(contents.begin());  // above the depth: one more
        } else if (count == 999) {
            contents.erase(contents.begin());  // no number left
        }
        contents.push_back(content);
    }
};

class StoreModel {
public:
    explicit StoreModel(unsigned seed) : rng_(seed) {
        p_.titles = {"XYWRITE - DOC"};
        p_.maxForegroundQueries = 1'000'000;
        // Sometimes start high up, so that the numbers run into 999.
        if (Chance(2)) {
            const int count = Pick(1, 12);
            const int top = Pick(985, 999);
            for (int i = 0; i < count; ++i) {
                const std::string content = "seed" + std::to_string(i);
                p_.PutFile(Snapshot("DOC", top - count + 1 + i), content);
                model_.contents.push_back(content);
            }
        }
        model_.depth = Pick(1, 8);
        if (Chance(3)) PutStrays();
    }

    void Step() {
        switch (Pick(0, 9)) {
            case 0: model_.depth = Pick(1, 8); break;
            case 1: case 2: case 3: case 4: Save(); break;
            case 5: case 6: StepBy("U"); break;
            case 7: StepBy("R"); break;
            case 8: CaptureAndStepBack(); break;
            default: SaveUnchanged(); break;
        }
        Check();
    }

private:
    // Names that are not DOC's own snapshots, or that read as numbers in other forms.
    void PutStrays() {
        static const struct {
            const char* name;
            bool counted;  // reads as a number from 0 to 999
        } kStrays[] = {{"DOC.1E2", true},  {"DOC.1E3", false}, {"DOC.4E4", false},   {"DOC.&H1", true},
                       {"DOC.-12", true},  {"DOC.000", true},  {"DOC.TXT.009", false}};
        for (const auto& stray : kStrays) {
            if (!Chance(2)) continue;
            p_.PutFile(kDir + stray.name, std::string("stray ") + stray.name);
            if (stray.counted) exact_ = false;
            if (std::string(stray.name) != "DOC.000") strays_.push_back(kDir + stray.name);
        }
    }

    int Pick(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng_); }
    bool Chance(int inverse) { return Pick(1, inverse) == 1; }

    std::string NewContent() { return "doc" + std::to_string(++edits_); }

    void WriteSave(const std::string& content) {
        p_.PutFile(kDir + "DOC.BAK", content);
        p_.PutFile(kDir + "VORNEL.CTL", "DOC\x1a");
    }

    std::map<int, std::string> Store() {
        std::map<int, std::string> store;
        for (int n : Numbers()) store[n] = p_.Content(Snapshot("DOC", n));
        return store;
    }

    void Save() {
        const std::string content = NewContent();
        const std::map<int, std::string> before = Store();
        WriteSave(content);
        RunProgram(p_, "K " + std::to_string(model_.depth));
        model_.Save(content, model_.depth);
        last_ = "save";
        std::multiset<std::string> lost;
        for (const auto& [n, c] : before) lost.insert(c);
        for (const auto& [n, c] : Store()) {
            const auto it = lost.find(c);
            if (it != lost.end()) lost.erase(it);
        }
        EXPECT_LE(lost.size(), 2u) << "a changed save retires two snapshots at most";
        EXPECT_LE(Store().size(), std::max<std::size_t>(model_.depth, before.size())) << "the store keeps its depth";
    }

    // The newest file filed under its three digits, as XyWrite would save it again.
    void SaveUnchanged() {
        const std::map<int, std::string> before = Store();
        if (before.empty()) return;
        WriteSave(before.rbegin()->second);
        RunProgram(p_, "K " + std::to_string(model_.depth));
        last_ = "unchanged save";
        EXPECT_EQ(Store(), before) << "an unchanged save files and retires nothing";
    }

    std::vector<int> Numbers() {
        std::vector<int> numbers;
        for (const std::string& path : p_.Names()) {
            const std::string name = path.substr(kDir.size());
            if (name.size() >= 5 && name.compare(0, 4, "DOC.") == 0 &&
                name.find_first_not_of("0123456789", 4) == std::string::npos)
                numbers.push_back(std::stoi(name.substr(4)));
        }
        std::sort(numbers.begin(), numbers.end());
        return numbers;
    }

    void StepBy(const std::string& command) {
        const bool hadState = p_.Has(kDir + "DOC.DAT");
        RunProgram(p_, command + " DOC");
        last_ = command;
        if (Numbers().empty() || (command == "R" && !hadState)) {
            EXPECT_FALSE(p_.Has(kDir + "DOC.VRN") && !hadState) << last_;
            return;
        }
        CheckStep(command);
    }

    // Command U before any step: the document is saved during the capture pass.
    void CaptureAndStepBack() {
        if (p_.Has(kDir + "DOC.DAT")) p_.DeleteFile(kDir + "DOC.DAT");
        if (Numbers().empty()) return;
        const std::string content = NewContent();
        p_.onForegroundQuery = [&](long) { WriteSave(content); };
        RunProgram(p_, "U DOC");
        p_.onForegroundQuery = nullptr;
        model_.Save(content, 0);  // the capture pass has no depth
        last_ = "capture";
        CheckStep("U");
    }

    void CheckStep(const std::string& command) {
        const std::string state = p_.Content(kDir + "DOC.DAT");
        ASSERT_EQ(state.substr(0, 2), command == "U" ? "2 " : "3 ") << last_;
        const int pointer = std::stoi(state.substr(2));
        ASSERT_TRUE(p_.Has(Snapshot("DOC", pointer))) << state;
        EXPECT_EQ(p_.Content(kDir + "DOC.VRN"), p_.Content(Snapshot("DOC", pointer))) << last_;
    }

    void Check() {
        ASSERT_TRUE(p_.boxes.empty()) << last_ << ": " << p_.boxes.front().text;
        for (const std::string& stray : strays_)
            ASSERT_EQ(p_.Content(stray), "stray " + stray.substr(kDir.size())) << last_;
        const std::vector<int> numbers = Numbers();
        if (!numbers.empty()) ASSERT_LE(numbers.back(), 999);
        EXPECT_FALSE(p_.Has(kDir + "DOC.BAK")) << last_;
        EXPECT_FALSE(p_.Has(kDir + "VORNEL.CTL")) << last_;
        if (!exact_) return;
        std::vector<std::string> contents;
        for (int n : numbers) contents.push_back(p_.Content(Snapshot("DOC", n)));
        ASSERT_EQ(contents, model_.contents) << "after " << last_;
        for (std::size_t i = 1; i < numbers.size(); ++i) ASSERT_EQ(numbers[i], numbers[i - 1] + 1) << last_;
    }

    std::mt19937 rng_;
    MemoryPlatform p_;
    Model model_;
    int edits_ = 0;
    std::string last_;
    bool exact_ = true;                // no stray that counts as a number
    std::vector<std::string> strays_;  // paths of strays that must stay as they are
};

TEST(StoreModel, RandomSequencesKeepEverythingButWhatRetentionRetires) {
    for (unsigned seed = 1; seed <= 1500; ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        StoreModel model(seed);
        for (int i = 0; i < 40 && !::testing::Test::HasFatalFailure(); ++i) model.Step();
        if (::testing::Test::HasFailure()) break;
    }
}

TEST(StoreModel, AStoreThatFillsUpWithoutADepthStaysWithin999) {
    MemoryPlatform p;
    p.titles = {"XYWRITE"};
    PutSnapshots(p, "DOC", 1, 998);
    for (int i = 0; i < 3; ++i) {
        p.PutFile(kDir + "DOC.BAK", "extra" + std::to_string(i));
        p.PutFile(kDir + "VORNEL.CTL", "DOC.");
        RunProgram(p, "K");
    }
    EXPECT_TRUE(p.boxes.empty());
    EXPECT_EQ(p.Content(Snapshot("DOC", 999)), "extra2");
    EXPECT_EQ(p.Content(Snapshot("DOC", 1)), "v3");
    EXPECT_FALSE(p.Has(kDir + "DOC.1000"));
}

}  // namespace
}  // namespace vornel::test
