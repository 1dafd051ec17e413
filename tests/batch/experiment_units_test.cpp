// The pieces of experiment runs, in the process: SHA-256, the shell patterns, output folder
// names, JSON, provenance files and the skip rule, the summary's CSV, and the command line.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <random>
#include <regex>
#include <string>
#include <vector>

#include "batch/batch_runner.h"
#include "batch/experiment_glob.h"
#include "batch/experiment_job.h"
#include "batch/experiment_json.h"
#include "batch/experiment_provenance.h"
#include "batch/experiment_summary.h"
#include "batch/sha256.h"
#include "support/expect_error.h"
#include "support/scratch_directory.h"

namespace ictalscope {
namespace {

namespace fs = std::filesystem;

// ---- SHA-256 ----

struct DigestCase {
  std::string input;
  const char* digest;
};

const std::vector<DigestCase>& KnownDigests() {
  static const std::vector<DigestCase> cases = {
      {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
      {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
       "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
      {"abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopqr"
       "lmnopqrsmnopqrstnopqrstu",
       "cf5b16a778af8380036ce59e7b0492370b249b11e8f07a51afac45037afee9d1"},
      {std::string(1'000'000, 'a'),
       "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
  };
  return cases;
}

std::vector<Sha256::Engine> Engines() {
  std::vector<Sha256::Engine> engines = {Sha256::Engine::kPortable};
  if (Sha256::HasShaInstructions()) engines.push_back(Sha256::Engine::kShaInstructions);
  return engines;
}

TEST(Sha256Test, GivesTheStandardsDigestsWithEveryEngine) {
  for (Sha256::Engine engine : Engines()) {
    for (const DigestCase& c : KnownDigests()) {
      Sha256 sha(engine);
      sha.Update(c.input);
      EXPECT_EQ(sha.HexDigest(), c.digest)
          << "engine " << static_cast<int>(engine) << ", " << c.input.size() << " bytes";
    }
  }
  if (!Sha256::HasShaInstructions()) GTEST_SKIP() << "no SHA instructions: portable code only";
}

// Fed in pieces of any size, both engines agree with the whole input fed at once, at every
// length around the block and padding boundaries.
TEST(Sha256Test, PiecesAndEnginesAgree) {
  std::mt19937 random(7);
  std::string bytes(4096, '\0');
  for (char& c : bytes) c = static_cast<char>(random());
  for (size_t length : {0, 1, 55, 56, 63, 64, 65, 119, 120, 127, 128, 1000, 4096}) {
    const std::string input = bytes.substr(0, length);
    const std::string whole = Sha256Hex(input);
    for (Sha256::Engine engine : Engines()) {
      for (size_t piece : {1, 3, 63, 64, 65, 500}) {
        Sha256 sha(engine);
        for (size_t at = 0; at < length; at += piece) sha.Update(input.substr(at, piece));
        EXPECT_EQ(sha.HexDigest(), whole) << length << " bytes in pieces of " << piece;
      }
    }
  }
}

TEST(Sha256Test, DigestsAFileAndNamesOneItCannotRead) {
  testing::ScratchDirectory scratch;
  testing::WriteFile("f", "abc");
  const FileDigest digest = DigestFile("f");
  EXPECT_EQ(digest.size, 3u);
  EXPECT_EQ(digest.sha256, KnownDigests()[1].digest);
  EXPECT_THROW_MSG(DigestFile("missing"), "File not found: missing");
}

// ---- Shell patterns ----

TEST(ExperimentGlobTest, MatchesComponentsAsTheShellDoes) {
  struct Case {
    const char* pattern;
    const char* name;
    bool matches;
  };
  const std::vector<Case> cases = {
      {"*.wcp", "demo.wcp", true},
      {"*.wcp", "demo.abf", false},
      {"*.wcp", ".hidden.wcp", false},
      {".*.wcp", ".hidden.wcp", true},
      {"*", "", true},
      {"d?mo", "demo", true},
      {"d?mo", "dmo", false},
      {"cell[AB]", "cellB", true},
      {"cell[AB]", "cellC", false},
      {"cell[!AB]", "cellC", true},
      {"cell[^AB]", "cellA", false},
      {"r[0-9][0-9]", "r42", true},
      {"r[0-9]", "rx", false},
      {"[]x]", "]", true},
      {"a[", "a[", true},
      {"a\\*", "a*", true},
      {"a\\*", "ab", false},
      {"*a*b*", "xxaybz", true},
      {"*a*b", "xxaybz", false},
      {"**", "anything", true},
      {"exact", "exact", true},
      {"exact", "exactly", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(MatchesComponent(c.pattern, c.name), c.matches) << c.pattern << " " << c.name;
  }
}

class ExperimentMatchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* file : {"exp/a.wcp", "exp/x/b.wcp", "exp/x/y/c.wcp", "exp/x/notes.txt",
                             "exp/.hidden/d.wcp", "exp/y/e.abf", "exp/out/f.wcp"}) {
      fs::create_directories(fs::path(file).parent_path());
      testing::WriteFile(file, "x");
    }
    fs::create_directories("exp/folder.wcp");
  }
  testing::ScratchDirectory scratch_;
};

TEST_F(ExperimentMatchTest, MatchesRecordingsBelowFoldersAtAnyDepth) {
  struct Case {
    std::vector<std::string> patterns;
    std::vector<std::string> files;
  };
  const std::vector<Case> cases = {
      {{"exp/**/*.wcp"}, {"exp/a.wcp", "exp/x/b.wcp", "exp/x/y/c.wcp"}},
      {{"exp/*/*.wcp"}, {"exp/x/b.wcp"}},
      {{"exp/x/**"}, {"exp/x/b.wcp", "exp/x/notes.txt", "exp/x/y/c.wcp"}},
      {{"exp/[xy]/*"}, {"exp/x/b.wcp", "exp/x/notes.txt", "exp/y/e.abf"}},
      {{"exp/a.wcp", "exp/*.wcp", "./exp/a.wcp"}, {"exp/a.wcp"}},
      {{"exp/**/*.abf", "exp/a.wcp"}, {"exp/a.wcp", "exp/y/e.abf"}},
      {{"exp/.hidden/*.wcp"}, {"exp/.hidden/d.wcp"}},
      {{"exp/**/x/*.wcp"}, {"exp/x/b.wcp"}},
      {{"exp//x/b.wcp"}, {"exp/x/b.wcp"}},
      {{"exp/nothing/*.wcp"}, {}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(MatchRecordings(c.patterns, "exp/out"), c.files) << c.patterns[0];
  }
  // Absolute patterns give absolute paths.
  const std::string here = fs::current_path().string();
  EXPECT_EQ(MatchRecordings({here + "/exp/*/b.wcp"}, "exp/out"),
            std::vector<std::string>{here + "/exp/x/b.wcp"});
}

TEST_F(ExperimentMatchTest, LeavesOutTheOutputFolderAndReportsPatternsMatchingNothing) {
  std::vector<std::string> unmatched;
  EXPECT_EQ(MatchRecordings({"exp/out/*.wcp", "exp/*.wcp", "exp/*.txt"}, "exp/out", &unmatched),
            std::vector<std::string>{"exp/a.wcp"});
  EXPECT_EQ(unmatched, (std::vector<std::string>{"exp/out/*.wcp", "exp/*.txt"}));
  EXPECT_EQ(MatchRecordings({"exp/out/*.wcp"}, "elsewhere"),
            std::vector<std::string>{"exp/out/f.wcp"});
}

TEST(ExperimentFolderTest, NamesOutputFoldersBelowTheDeepestCommonFolder) {
  struct Case {
    std::vector<std::string> files;
    std::vector<std::string> folders;
  };
  const std::vector<Case> cases = {
      {{"exp/control/cellA/demo.wcp", "exp/drug/b.abf"}, {"control/cellA/demo", "drug/b"}},
      {{"exp/control/a.wcp", "exp/control/b.wcp"}, {"a", "b"}},
      {{"exp/one/rec.v2.wcp"}, {"rec.v2"}},
      {{"exp/trace", "exp/sub/../other.abf"}, {"trace", "other"}},
      {{"/abs/a/x.wcp", "/abs/b/y.wcp"}, {"a/x", "b/y"}},
  };
  for (const Case& c : cases) {
    const fs::path common = DeepestCommonFolder(c.files);
    std::vector<std::string> folders;
    for (const std::string& file : c.files) {
      folders.push_back(RelativeOutputFolder(file, common).generic_string());
    }
    EXPECT_EQ(folders, c.folders) << c.files[0];
  }
}

// ---- JSON ----

TEST(ExperimentJsonTest, ParsesJsonAndRefusesWhatIsNot) {
  const std::optional<JsonValue> value = ParseJson(
      R"( {"a": [1, -2.5e3, true, false, null], "b": {"c": "x\"\\\/\n\u00e9\ud83d\ude00"}} )");
  ASSERT_TRUE(value.has_value());
  const JsonValue* a = value->Find("a");
  ASSERT_NE(a, nullptr);
  ASSERT_EQ(a->items.size(), 5u);
  EXPECT_EQ(a->items[1].number, -2500);
  EXPECT_TRUE(a->items[2].boolean);
  EXPECT_EQ(a->items[4].type, JsonValue::Type::kNull);
  EXPECT_EQ(value->Find("b")->StringOr("c"), "x\"\\/\n\xc3\xa9\xf0\x9f\x98\x80");
  EXPECT_EQ(value->NumberOr("missing", 7), 7);

  for (const char* bad : {"", "{", "[1,]", "{\"a\" 1}", "01", "1.", "\"\\x\"", "\"a",
                          "{\"a\": 1} x", "\"\\ud800\"", "tru", "[\"\t\"]"}) {
    EXPECT_FALSE(ParseJson(bad).has_value()) << bad;
  }
}

TEST(ExperimentJsonTest, QuotesAnyBytesAsValidJsonThatReadsBack) {
  struct Case {
    std::string text;
    std::string quoted;
  };
  const std::vector<Case> cases = {
      {"plain", "\"plain\""},
      {"q\"b\\", "\"q\\\"b\\\\\""},
      {"\r\n\t\x01", "\"\\r\\n\\t\\u0001\""},
      {"caf\xc3\xa9", "\"caf\xc3\xa9\""},  // valid UTF-8 stays
      {"lat\xe9n", "\"lat\\u00e9n\""},     // a Latin-1 byte is escaped
      {"\xc0\xaf", "\"\\u00c0\\u00af\""},  // an overlong sequence too
  };
  for (const Case& c : cases) {
    EXPECT_EQ(JsonQuoted(c.text), c.quoted);
    const std::optional<JsonValue> back = ParseJson(JsonQuoted(c.text));
    ASSERT_TRUE(back.has_value());
    if (c.text != "lat\xe9n" && c.text != "\xc0\xaf") {
      EXPECT_EQ(back->text, c.text);
    }
  }
  EXPECT_EQ(JsonNumber(0.0625), "0.0625");
  EXPECT_EQ(JsonNumber(318977), "318977");
  EXPECT_EQ(JsonNumber(0.1), "0.1");
}

// ---- Provenance ----

Provenance SampleProvenance() {
  Provenance p;
  const BuildInfo build = ThisBuild();
  p.program = build.program;
  p.version = build.version;
  p.revision = build.revision;
  p.build_type = build.build_type;
  p.date = "2025-01-02T03:04:05Z";
  p.command_line = "ictalscope-batch --recordings 'exp/**/*.wcp' --out out load";
  p.recording = {"exp/a, \"b\".wcp", 1234, std::string(64, 'f'), "wcp", "classic", "", "9", 2};
  ActionProvenance name;
  name.action = "name=a";
  name.panel = {{"ISImax", "1000"}, {"Analyse", " 1"}};
  name.checks = {{"read", false}, {"rewrite", true}};
  name.name_box = "1";
  ActionProvenance iid;
  iid.action = "iid";
  iid.name_box = "a";
  iid.wrote = {{"aIID", 10, std::string(64, '1')}, {"amean", 0, std::string(64, '2')}};
  RecordFigures figures;
  figures.record = 2;
  figures.samples = 100;
  figures.interval_ms = 0.0625;
  figures.iid_discharges = 3;
  figures.id_discharges = 1;
  figures.mean_isi_s = 0.0123456789;
  iid.records = {figures};
  ActionProvenance stat;
  stat.action = "stat";
  stat.failed = true;
  stat.message = "stat needs at least two discharges: aID holds 1";
  stat.stat = {{"N_ID", "2"}, {"Nsplast/Nsp1", "0.756"}};
  p.actions = {name, iid, stat};
  p.outputs = iid.wrote;
  p.failed = true;
  return p;
}

TEST(ExperimentProvenanceTest, ReadsBackWhatItWrites) {
  const Provenance p = SampleProvenance();
  const std::optional<Provenance> back = ParseProvenance(ProvenanceJson(p));
  ASSERT_TRUE(back.has_value());
  EXPECT_EQ(back->program, p.program);
  EXPECT_EQ(back->version, p.version);
  EXPECT_EQ(back->revision, p.revision);
  EXPECT_EQ(back->build_type, p.build_type);
  EXPECT_EQ(back->date, p.date);
  EXPECT_EQ(back->command_line, p.command_line);
  EXPECT_EQ(back->recording.path, p.recording.path);
  EXPECT_EQ(back->recording.size, p.recording.size);
  EXPECT_EQ(back->recording.layout, "classic");
  EXPECT_EQ(back->recording.records, 2);
  EXPECT_TRUE(back->failed);
  EXPECT_EQ(back->outputs, p.outputs);
  ASSERT_EQ(back->actions.size(), 3u);
  EXPECT_EQ(back->actions[0].panel, p.actions[0].panel);
  EXPECT_EQ(back->actions[0].checks, p.actions[0].checks);
  EXPECT_EQ(back->actions[0].name_box, "1");
  EXPECT_EQ(back->actions[1].wrote, p.actions[1].wrote);
  ASSERT_EQ(back->actions[1].records.size(), 1u);
  const RecordFigures& r = back->actions[1].records[0];
  EXPECT_EQ(r.record, 2);
  EXPECT_EQ(r.samples, 100);
  EXPECT_EQ(r.interval_ms, 0.0625);
  EXPECT_FALSE(r.spikes.has_value());
  EXPECT_EQ(r.mean_isi_s, 0.0123456789);
  EXPECT_TRUE(back->actions[2].failed);
  EXPECT_EQ(back->actions[2].message, p.actions[2].message);
  EXPECT_EQ(back->actions[2].stat, p.actions[2].stat);
}

TEST(ExperimentProvenanceTest, RefusesTextThatIsNoProvenance) {
  const std::string good = ProvenanceJson(SampleProvenance());
  for (const std::string& bad :
       {good.substr(0, good.size() / 2), std::string("[]"), std::string("{\"version\": \"1\"}"),
        std::regex_replace(good, std::regex("\"outputs\""), "\"other\"")}) {
    EXPECT_FALSE(ParseProvenance(bad).has_value()) << bad.substr(0, 40);
  }
}

TEST(ExperimentProvenanceTest, CallsARunDoneOnlyWhenAllItVouchesForHolds) {
  testing::ScratchDirectory scratch;
  testing::WriteFile("aIID", "table");
  fs::create_directories("sub");
  testing::WriteFile("sub/x", "");
  Provenance p = SampleProvenance();
  p.failed = false;
  p.actions.pop_back();
  p.outputs = FilesOf(".");
  ASSERT_EQ(p.outputs.size(), 2u);
  EXPECT_EQ(p.outputs[0].file, "aIID");
  EXPECT_EQ(p.outputs[1].file, "sub/x");
  testing::WriteFile(kProvenanceFile, "not counted");
  EXPECT_EQ(FilesOf("."), p.outputs);
  const std::string hash = p.recording.sha256;
  const std::vector<std::string> actions = {"name=a", "iid"};
  EXPECT_TRUE(IsDone(p, hash, actions, "."));

  struct Case {
    const char* what;
    std::function<void(Provenance&, std::string&, std::vector<std::string>&)> change;
  };
  const std::vector<Case> cases = {
      {"another recording", [](Provenance&, std::string& h, auto&) { h[0] = '0'; }},
      {"another version", [](Provenance& q, auto&, auto&) { q.version += ".1"; }},
      {"other actions", [](Provenance&, auto&, std::vector<std::string>& a) { a[1] = "spikes"; }},
      {"more actions",
       [](Provenance&, auto&, std::vector<std::string>& a) { a.push_back("stat"); }},
      {"a failed run", [](Provenance& q, auto&, auto&) { q.failed = true; }},
      {"a failed action", [](Provenance& q, auto&, auto&) { q.actions[1].failed = true; }},
      {"an output changed", [](Provenance& q, auto&, auto&) { q.outputs[0].sha256[0] ^= 1; }},
      {"an output more", [](Provenance& q, auto&, auto&) { q.outputs.pop_back(); }},
      {"an output missing",
       [](Provenance& q, auto&, auto&) {
         q.outputs.push_back({"gone", 0, std::string(64, '0')});
       }},
  };
  for (const Case& c : cases) {
    Provenance q = p;
    std::string h = hash;
    std::vector<std::string> a = actions;
    c.change(q, h, a);
    EXPECT_FALSE(IsDone(q, h, a, ".")) << c.what;
  }
}

// ---- Summary ----

TEST(ExperimentSummaryTest, WritesARowPerRecordWithTheLastFiguresAndTheStatLine) {
  Provenance p = SampleProvenance();
  ActionProvenance again;
  again.action = "each-record";
  RecordFigures first;
  first.record = 1;
  first.samples = 50;
  first.spikes = 7;
  RecordFigures second;
  second.record = 2;
  second.spikes = 9;
  second.iid_discharges = 0;
  second.id_discharges = 0;
  again.records = {second, first};
  p.actions.insert(p.actions.begin() + 2, again);
  Provenance empty = SampleProvenance();
  empty.recording.path = "exp/plain.wcp";
  empty.actions.resize(1);
  empty.failed = false;

  size_t rows = 0;
  const std::string csv = SummaryCsv({{"z/second", empty}, {"a/first", p}}, &rows);
  EXPECT_EQ(rows, 3u);
  const std::string header =
      "recording,folder,status,record,samples,sampling_interval_ms,spikes,iid_discharges,"
      "id_discharges,mean_isi_s,stat_N_ID,stat_InterIDm,stat_InterIDsem,stat_IntraIDm,"
      "stat_IntraIDsem,stat_Durm,stat_Dursem,stat_Nspm,stat_NSpsem,stat_Nsplast_Nsp1\n";
  EXPECT_EQ(csv, header +
                     "\"exp/a, \"\"b\"\".wcp\",a/first,failed,1,50,,7,,,,2,,,,,,,,,0.756\n"
                     "\"exp/a, \"\"b\"\".wcp\",a/first,failed,2,100,0.0625,9,0,0,,2,,,,,,,,,0.756\n"
                     "exp/plain.wcp,z/second,ok,,,,,,,,,,,,,,,,,\n");
}

TEST(ExperimentSummaryTest, FindsTheRunsOfFinishedFoldersOnly) {
  testing::ScratchDirectory scratch;
  const std::string text = ProvenanceJson(SampleProvenance());
  for (const char* folder : {"out/a/x", "out/b", "out/.c.partial", "out/d"}) {
    fs::create_directories(folder);
  }
  testing::WriteFile("out/a/x/provenance.json", text);
  testing::WriteFile("out/b/provenance.json", text);
  testing::WriteFile("out/.c.partial/provenance.json", text);
  testing::WriteFile("out/d/provenance.json", "{");
  std::vector<std::string> unreadable;
  std::vector<std::string> folders;
  for (const SummaryRun& run : FindRuns("out", &unreadable)) folders.push_back(run.folder);
  std::sort(folders.begin(), folders.end());
  EXPECT_EQ(folders, (std::vector<std::string>{"a/x", "b"}));
  EXPECT_EQ(unreadable, std::vector<std::string>{"out/d/provenance.json"});
  EXPECT_EQ(WriteSummary("out"), 2u);
  EXPECT_TRUE(fs::exists("out/summary.csv"));
  EXPECT_FALSE(fs::exists("out/.summary.csv.partial"));
}

// ---- The command line ----

TEST(ExperimentCommandLineTest, QuotesWordsForTheShellOnlyWhenNeeded) {
  EXPECT_EQ(ShellCommandLine("p", {"--out", "a/b.c", "exp/**/*.wcp", "it's", "", "x y"}),
            "p --out a/b.c 'exp/**/*.wcp' 'it'\\''s' '' 'x y'");
}

TEST(ExperimentCommandLineTest, ParsesExperimentOptions) {
  std::string problem;
  const std::optional<BatchCommandLine> line =
      ParseBatchCommandLine({"--recordings", "a/*.wcp", "b/**/*.abf", "--out", "res", "-j", "3",
                             "--force", "--keep-going", "ISImax=500", "load"},
                            problem);
  ASSERT_TRUE(line.has_value()) << problem;
  EXPECT_EQ(line->experiment.patterns, (std::vector<std::string>{"a/*.wcp", "b/**/*.abf"}));
  EXPECT_EQ(line->experiment.out, "res");
  EXPECT_EQ(line->experiment.jobs, 3);
  EXPECT_TRUE(line->experiment.force);
  EXPECT_TRUE(line->keep_going);
  EXPECT_EQ(line->action_args, (std::vector<std::string>{"ISImax=500", "load"}));
  ASSERT_EQ(line->actions.size(), 2u);

  struct Case {
    std::vector<std::string> args;
    std::string problem;  // empty: accepted
  };
  const std::vector<Case> cases = {
      {{"--out", "o", "--recordings", "a", "-j4", "load"}, ""},
      {{"--recordings", "a", "--out", "o", "--jobs", "2", "load"}, ""},
      {{"--recordings", "a", "--out", "o", "--list"}, ""},
      {{"--summary", "o"}, ""},
      {{"--job", "a.wcp", "o/a", "--force", "load"}, ""},
      {{"--recordings", "a", "load"},
       "the patterns of --recordings run up to the next option: give --out DIR after them"},
      {{"--recordings", "--out", "o", "load"}, "--recordings needs at least one pattern"},
      {{"--recordings", "a", "-j", "0", "--out", "o", "load"},
       "-j needs a whole number of at least 1: 0"},
      {{"--recordings", "a", "-jx", "--out", "o", "load"},
       "-j needs a whole number of at least 1: x"},
      {{"--recordings", "a", "--force", "load"}, "--recordings needs --out DIR"},
      {{"--recordings", "a", "--out", "o", "--bogus", "load"}, "unknown option: --bogus"},
      {{"--out", "o", "load"}, "--out needs --recordings PATTERN..."},
      {{"-j", "2", "load"}, "-j needs --recordings"},
      {{"--force", "load"}, "--force needs --recordings"},
      {{"--summary", "o", "load"}, "--summary DIR takes no other option and no action"},
      {{"--job", "a.wcp", "o/a", "--recordings", "b", "--out", "o", "load"},
       "--job and --recordings exclude each other"},
      {{"--recordings", "a", "--out", "o"}, "no action given"},
      {{"-x", "load"}, "unknown option: -x"},
  };
  for (const Case& c : cases) {
    problem.clear();
    const bool parsed = ParseBatchCommandLine(c.args, problem).has_value();
    EXPECT_EQ(parsed, c.problem.empty()) << c.args[0] << " " << c.args[1] << ": " << problem;
    EXPECT_EQ(problem, c.problem) << c.args[0] << " " << c.args[1];
  }
}

}  // namespace
}  // namespace ictalscope
