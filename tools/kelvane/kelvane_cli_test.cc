// SPDX-License-Identifier: Apache-2.0
// The built kelvane tool, run as a user runs it: bad input must end in the documented exit
// status with one "kelvane: " line on standard error, nothing on standard output and no file left
// behind; accepted spellings must write what they name.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "gmock/gmock.h"
#include "gtest/gtest.h"
#include "kelvane/testing/child_process.h"
#include "kelvane/version_macros.h"

namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using ::testing::MatchesRegex;
using ::testing::Not;
using ::testing::StartsWith;

struct Outcome {
  int status = -1;  // the exit status; -1 when the tool did not exit, 137 when it timed out
  std::string out, err;
};

// How a row runs: standard output to a file, one more environment variable, no room to write
// files, standard input from a command through a pipe, a bound on the tool's address space.
struct Setting {
  std::string stdout_path = {};  // empty: captured
  std::string env = {};          // NAME=value
  bool no_room = false;
  std::string input = {};   // a shell command whose output is standard input; empty: none
  unsigned memory_mib = 0;  // the tool's address space (RLIMIT_AS) in MiB; 0: unlimited
};

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Runs `command` with sh: the exit status, and what it wrote to its standard output (its
// redirections decide what else).
Outcome RunShell(const std::string& command) {
  Outcome outcome;
  FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) return outcome;
  char buffer[4096];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
    outcome.out.append(buffer, n);
  const int status = ::pclose(pipe);
  outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return outcome;
}

// Runs the tool with `args`, words of the shell in which $D names `dir` and $T the test data,
// under a 30-second limit, with standard input empty and the screen settings unset unless the
// row sets them, capturing what it prints. Standard error goes through a pipe, which the limit
// on written files does not reach; a write past that limit fails with EFBIG, not a signal. The
// address-space limit is set by the shell that then execs the tool (through timeout), so it
// holds for the tool and not for the command that makes its input.
Outcome RunTool(const std::string& args, const fs::path& dir, const Setting& setting) {
  const fs::path out =
      fs::temp_directory_path() / ("kelvane-cli-out-" + std::to_string(::getpid()));
  const std::string memory = setting.memory_mib == 0
                                 ? ""
                                 : "ulimit -v " + std::to_string(setting.memory_mib * 1024) + "; ";
  const std::string command = "D=" + dir.string() + " T=" + KELVANE_TESTDATA_DIR + "; " +
                              (setting.no_room ? "ulimit -f 0; " : "") +
                              (setting.input.empty() ? "" : setting.input + " | ") + "(" + memory +
                              "exec env -u KELVANE_SCREEN -u KELVANE_IDIOM " + setting.env +
                              " timeout -s KILL 30 " + KELVANE_TOOL_PATH + " " + args +
                              (setting.input.empty() ? " </dev/null" : "") + ") 2>&1 >" +
                              (setting.stdout_path.empty() ? out.string() : setting.stdout_path);
  ::signal(SIGXFSZ, SIG_IGN);
  Outcome outcome = RunShell(command);  // the pipe carries standard error
  outcome.err = std::move(outcome.out);
  outcome.out = ReadFile(out);
  fs::remove(out);
  return outcome;
}

// Each file of the folder with its size and, for small files, a hash of its bytes.
std::map<std::string, std::string> Snapshot(const fs::path& dir) {
  std::map<std::string, std::string> files;
  for (const auto& entry : fs::directory_iterator(dir)) {
    std::string state = "not a regular file";
    if (entry.is_regular_file()) {
      state = std::to_string(entry.file_size()) + " bytes";
      if (entry.file_size() < (1 << 20)) {
        state += ", hash " + std::to_string(std::hash<std::string>()(ReadFile(entry.path())));
      }
    }
    files[entry.path().filename().string()] = state;
  }
  return files;
}

class KelvaneToolTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    char name[] = "/tmp/kelvane-cli-test-XXXXXX";
    ASSERT_NE(::mkdtemp(name), nullptr);
    dir_ = name;
    const fs::path images = fs::path(KELVANE_TESTDATA_DIR) / "images";
    fs::copy_file(images / "palette.png", dir_ / "good.png");
    std::ofstream(dir_ / "text.png") << "not a picture\n";
    std::ofstream(dir_ / "red\x1B[31m\rname.png") << "\x89PNG\r\n\x1A\n";
    fs::create_directory(dir_ / "folder.png");
    ASSERT_EQ(::mkfifo((dir_ / "pipe.png").c_str(), 0600), 0);
    // Larger than any picture file the tool reads, without using the space.
    const int huge = ::open((dir_ / "huge.png").c_str(), O_CREAT | O_WRONLY, 0600);
    ASSERT_GE(huge, 0);
    ASSERT_EQ(::ftruncate(huge, off_t{600} << 20), 0);
    ::close(huge);
  }
  static void TearDownTestSuite() { fs::remove_all(dir_); }

  static inline fs::path dir_;
};

// An address space in MiB with room for the tool to start (it maps about 95 MiB of libraries
// and data) but not for the 100 MB it is then given.
constexpr unsigned kSmallAddressSpace = 150;

// 100 MB of zero bytes through `filter` as standard input, for a tool in that address space.
Setting HundredMegabytes(const std::string& filter = "") {
  return {.input = "head -c 100000000 /dev/zero" + filter, .memory_mib = kSmallAddressSpace};
}

const Setting kFullOutput{.stdout_path = "/dev/full"};  // every write fails with ENOSPC

struct BadInput {
  const char* args;
  int status;
  const char* message;  // part of the line after "kelvane: "
  Setting setting = {};
};

TEST_F(KelvaneToolTest, RefusesBadInputWithOneLineAndLeavesNothingBehind) {
  const BadInput rows[] = {
      // Numbers out of range, not numbers, or not whole.
      {"image resize $D/good.png $D/out.png --size 0x5", 2, "--size: '0x5' is not WxH"},
      {"image pixel $D/good.png 0 100000", 2, "Y: 100000 is outside the picture's rows 0 to"},
      {"text fit abc --min 20 --size 10 --width 100", 2, "--min 20 is above --size 10"},
      {"colour FF0000 --alpha 2", 2, "--alpha: '2' is not a number from 0 to 1"},
      {"time --at 2024-02-30", 2, "--at: '2024-02-30' is not a time"},
      {"screen", 2, "KELVANE_SCREEN: 'garbage'", {.env = "KELVANE_SCREEN=garbage"}},
      {"net --watch --for 0", 2, "--for: '0' is not a number above 0"},
      // Parse errors and options that do not go together.
      {"md5 --bogus $D/good.png", 2, "--bogus"},
      {"number format 1e5", 2, "'1e5' is not a plain decimal"},
      {"number format 1 --tick 1/3", 2, "--tick: '1/3' is not a positive plain decimal"},
      {"number format 99.5 --fractional --tick 0.25", 2, "--fractional needs --tick 1/32"},
      {"number format 1 --style money --locale de", 1, "'de' has no currency of its own"},
      {"number parse 1,23,4.5", 1, "'1,23,4.5': a group separator out of place at byte 4"},
      {"number parse 99-32 --tick 1/32 --fractional", 1, "at byte"},
      {"image resize $D/good.png", 2, "is required"},
      {"image tint $D/good.png $D/out.png 12345G", 2, "--colour: '12345G' is not a colour"},
      {"avatar --login jd --picture $D/good.png -o $D/out.png", 2, "excludes"},
      // Files that cannot be read, each saying why.
      {"image convert $D/pipe.png $D/out.png", 1, "pipe.png: a named pipe"},
      {"image info $D/huge.png", 1, "huge.png: over the limit of 512 MiB"},
      {"image info $T/images/bomb.png", 1, "over the decoded-size limit of 100 megapixels"},
      {"secret get api-token", 1, "/: a folder, not a secure store", {.env = "KELVANE_KEYCHAIN=/"}},
      {"secret set big",
       1,
       "standard input: more than the limit of 1 MiB a secret may hold",
       {.env = "KELVANE_KEYCHAIN=$D/secrets.db", .input = "head -c 1048577 /dev/zero"}},
      // Writes that fail: the system's reason, and no partial file.
      {"image convert $D/good.png /dev/full", 1, "/dev/full: no space left on device"},
      {"image convert $D/good.png $D/text.png", 1, "text.png: file too large", {.no_room = true}},
      {"hex decode 4B656C76616E65", 1, "standard output: no space", kFullOutput},
      {"palette", 1, "standard output: no space left on device", kFullOutput},
      {"--help", 1, "standard output: no space left on device", kFullOutput},
      {"image pixel $D/good.png 0 0", 1, "standard output: no space left on device", kFullOutput},
      // Memory running out is a failure that says so, never a replacement character or a
      // partial result with status 0.
      {"hex encode", 1, "kelvane: out of memory\n", HundredMegabytes()},
      {"hex decode", 1, "kelvane: out of memory\n", HundredMegabytes()},
      {"hex decode", 1, "kelvane: out of memory\n", HundredMegabytes(" | tr '\\0' 0")},
      // Text past what a layout takes is refused with the limit, not measured as 0 wide.
      {"text size \"$(head -c 32769 /dev/zero | tr '\\0' x)\"", 1,
       "text size: text too long to lay out: 32769 units, over the limit of 32768"},
      {"text fit \"$(yes a | head -n 2100)\" --min 1 --width 10", 1,
       "text fit: text too long to lay out: 2100 paragraphs, over the limit of 2048"},
      {"text draw \"$(head -c 3000 /dev/zero | tr '\\0' W)\" --size 4096 -o $D/out.png", 1,
       "over the picture limit of 100000 a side"},
      // Unknown words, named with the nearest spelling taken, in the order typed.
      {"image resise x", 2, "kelvane: image: unknown subcommand 'resise' (did you mean 'resize'?)"},
      {"imge info x", 2, "kelvane: unknown subcommand 'imge' (did you mean 'image'?)"},
      {"image resize $D/good.png -o $D/out.png --fitt 9x9", 2,
       "kelvane: image resize: unknown option '--fitt' (did you mean '--fit'?)"},
      {"image --one-thread info x", 2, "(an option of 'kelvane': give it before 'image')"},
      {"image", 2, "kelvane: image: a subcommand is required: info, convert, resize, jpeg"},
      {"image pixel $D/good.png 0 0 7 8", 2, "image pixel: unexpected arguments '7', '8'"},
      // An output name the command cannot write is refused before the input is even read.
      {"image convert $D/missing.png -o $D/out.gif", 2,
       "out.gif: cannot write a .gif file: the command writes PNG and JPEG pictures (.png, "},
      {"image resize $D/missing.png $D/out.WebP --ratio 2", 2, "cannot write a .webp file"},
      {"image jpeg $D/missing.png -o $D/out.png --limit 9", 2, "JPEG pictures (.jpg, .jpeg)"},
      {"image tint $D/missing.png $D/out.gif FF0000", 2, "cannot write a .gif file"},
      {"image effect $D/missing.png -o $D/out.tiff --light", 2, "cannot write a .tiff file"},
      {"text draw Hi -o $D/out.jpg", 2,
       "out.jpg: cannot write a .jpg file: the command writes PNG"},
      {"avatar --login jd -o $D/out.jpeg", 2, "the command writes PNG pictures (.png)"},
      // Control characters and bytes that are not UTF-8 in a name are printed escaped; the
      // system's reason starts lower-case. A damaged picture (a PNG signature alone here; the
      // reader's own test cuts real files) is named as one.
      {"image info \"$D/$(printf 'a\033[2Jb\rc\377')\"", 1,
       "/a\\e[2Jb\\rc\\xFF: no such file or directory"},
      {"image info \"$D/$(printf 'red\033[31m\rname.png')\"", 1,
       "/red\\e[31m\\rname.png: a damaged PNG picture"},
      {"md5 \"$D/$(printf 'tab\there\302\233x')\"", 1,
       "/tab\\there\\u009Bx: no such file or directory"},
      {"image convert $D/good.png \"$D/$(printf 'no\033[31m\rfolder')/out.png\"", 1,
       "/no\\e[31m\\rfolder/out.png: no such file or directory"},
      {"uti x.png --data-dir \"$(printf '\033[31m\r\n\177')\"", 1,
       "kelvane: \\e[31m\\r\\n\\x7F: holds no shared-mime-info database"},
      {"param a=1 --key \"$(printf 'k\033[31m\r')\"", 1, "param: no value for key \"k\\e[31m\\r\""},
      // Archives, record files and type database folders that load only in part, or not at all:
      // the reason from the library.
      {"archive read $T/archives/unknown_class.archive", 1,
       "price alert: class \"NoSuchClass\" is not registered"},
      {"records dump $D/text.png --item-size 4", 1,
       "text.png: record 0 at offset 0: cut short: the file ends inside item 3 of 544501614"},
      // The same with items skipped past --max, which are not read.
      {"records dump $D/text.png --item-size 4 --max 1", 1,
       "text.png: record 0 at offset 0: cut short: the file ends inside item 3 of 544501614"},
      {"uti kvsample.kvsample --data-dir $T/mime/damaged", 1,
       "/mime/damaged/mime/globs2: 2 malformed lines skipped, the first on line 3"},
      // --data-dir takes one folder: the words after it are arguments again.
      {"uti --data-dir $T/mime/damaged kvsample.kvsample", 1,
       "/mime/damaged/mime/globs2: 2 malformed lines skipped, the first on line 3"},
  };
  for (const BadInput& row : rows) {
    SCOPED_TRACE(row.args);
    // The sanitizers reserve terabytes of address space up front: no limit on it can hold.
    if (row.setting.memory_mib != 0 && kelvane::testing::kUnderSanitizer) continue;
    const auto before = Snapshot(dir_);
    const Outcome outcome = RunTool(row.args, dir_, row.setting);
    EXPECT_EQ(outcome.status, row.status);
    EXPECT_THAT(outcome.err, MatchesRegex("kelvane: [^\n\r\x1B]*\n"));
    EXPECT_THAT(outcome.err, HasSubstr(row.message));
    EXPECT_EQ(outcome.out, "");
    EXPECT_EQ(Snapshot(dir_), before);
  }
  // Written in place, never replaced by a file renamed over it.
  struct stat full {};
  ASSERT_EQ(::stat("/dev/full", &full), 0);
  EXPECT_TRUE(S_ISCHR(full.st_mode));
}

TEST_F(KelvaneToolTest, TakesEverySpellingOfTheOutputAndSaysWhatItWrote) {
  struct Spelling {
    const char* args;
    const char* written;
    const char* detail;  // part of what the "wrote" line says in brackets
  };
  const Spelling rows[] = {
      {"image tint $D/good.png $D/t1.png '#FF0000'", "t1.png", " px, "},
      {"image tint $D/good.png -o $D/t2.png FF0000", "t2.png", " px, "},
      {"image tint $D/good.png --colour '#00FF00' $D/t3.png", "t3.png", " px, "},
      {"image convert $D/good.png --output $D/c.JPEG --quality 0.5", "c.JPEG", " px, "},
      {"image resize $D/good.png $D/r.png --ratio 2 --quality high", "r.png", " px, "},
      {"image resize $D/good.png -o $D/r.jpg --size 4x4 --interpolation none --quality 1", "r.jpg",
       "(4 x 4 px, "},
      {"image jpeg $D/good.png -o $D/j.jpg --limit 3", "j.jpg", " px, "},
      {"image effect $D/good.png -o $D/e.png --tint '#1A61CC'", "e.png", " px, "},
      {"text draw Hi --output $D/d.png --colour '#1E90FF'", "d.png", " points at scale 2, "},
      {"avatar --login jd --scale 2 -o $D/a.png", "a.png",
       "(40 x 40 points at scale 2, 80 x 80 px, "},
      {"archive write -o $D/alert.archive --symbol EURUSD --price 1.085", "alert.archive",
       " bytes)"},
  };
  for (const Spelling& row : rows) {
    SCOPED_TRACE(row.args);
    const Outcome outcome = RunTool(row.args, dir_, {});
    EXPECT_EQ(outcome.status, 0);
    EXPECT_EQ(outcome.err, "");
    EXPECT_TRUE(fs::is_regular_file(dir_ / row.written));
    // The last line of what it printed, and only one line about the file.
    const std::string said = "wrote " + (dir_ / row.written).string() + " (";
    EXPECT_THAT(outcome.out, HasSubstr(said));
    EXPECT_THAT(outcome.out, HasSubstr(row.detail));
    EXPECT_THAT(outcome.out, MatchesRegex("(.*\n)?wrote [^\n]*\\)\n"));
  }
  // What goes to standard output is the picture itself, and nothing about it.
  const Outcome piped = RunTool("image convert $D/good.png -o /dev/stdout", dir_, {});
  EXPECT_EQ(piped.status, 0);
  EXPECT_EQ(piped.err, "");
  EXPECT_THAT(piped.out, StartsWith("\xFF\xD8\xFF"));
  EXPECT_THAT(piped.out, Not(HasSubstr("wrote")));
  // A name is shown escaped when it is said, and the file written is the one named.
  const Outcome escaped =
      RunTool("image convert $D/good.png \"$D/$(printf 'w\033[31m\r.png')\"", dir_, {});
  EXPECT_EQ(escaped.status, 0);
  EXPECT_THAT(escaped.out, StartsWith("wrote " + (dir_ / "w\\e[31m\\r.png (").string()));
  EXPECT_TRUE(fs::is_regular_file(dir_ / "w\x1B[31m\r.png"));
  // Nothing but the files named: no temporary file stays beside them.
  for (const auto& entry : fs::directory_iterator(dir_)) {
    EXPECT_THAT(entry.path().filename().string(), Not(StartsWith("."))) << entry.path();
  }
}

TEST_F(KelvaneToolTest, HelpAndVersionGoToStandardOutputABareCommandIsAUsageError) {
  const Outcome top = RunTool("--help", dir_, {});
  EXPECT_EQ(top.status, 0);
  EXPECT_EQ(top.err, "");
  for (const char* command :
       {"records", "md5",   "hex",    "param",  "locale", "time", "strings", "palette",
        "colour",  "url",   "mime",   "uti",    "secret", "cert", "archive", "image",
        "text",    "fonts", "avatar", "screen", "net",    "demo"}) {
    EXPECT_THAT(top.out, MatchesRegex("(.|\n)*\n  " + std::string(command) + " (.|\n)*"))
        << command;
  }
  const Outcome version = RunTool("--version", dir_, {});
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out, "kelvane " KELVANE_VERSION_STRING "\n");
  EXPECT_EQ(version.err, "");
  for (const char* bare : {"", "--one-thread"}) {
    SCOPED_TRACE(bare);
    const Outcome usage = RunTool(bare, dir_, {});
    EXPECT_EQ(usage.status, 2);
    EXPECT_EQ(usage.out, "");
    EXPECT_THAT(usage.err, HasSubstr("Usage: kelvane [OPTIONS] [SUBCOMMAND]"));
  }
}

// What `kelvane PATH --help` lists: every spelling of its options, its arguments and its
// subcommands. CLI11 gives each option one line starting with its names ("  -o,--output TEXT"),
// indented further inside an option group, and lists arguments and subcommands under headings;
// a description that does not fit beside a name goes on the next line, in the column of
// descriptions (30).
struct HelpListing {
  std::vector<std::string> options, arguments, subcommands;
};

HelpListing ParseHelp(const std::string& help) {
  HelpListing listing;
  std::istringstream lines(help);
  std::string heading;
  for (std::string line; std::getline(lines, line);) {
    if (line.empty()) {
      heading.clear();
      continue;
    }
    if (line[0] != ' ') heading = line;
    const std::size_t start = line.find_first_not_of(' ');
    if (start == 0 || start == std::string::npos || start >= 30) continue;
    const std::string first = line.substr(start, line.find(' ', start) - start);
    if (first[0] == '-') {
      std::istringstream names(first);
      for (std::string name; std::getline(names, name, ',');) listing.options.push_back(name);
    } else if (heading == "Positionals:") {
      listing.arguments.push_back(first);
    } else if (heading == "Subcommands:") {
      listing.subcommands.push_back(first);
    }
  }
  return listing;
}

// "\-\-size": a name as the man page sets it.
std::string Roff(std::string name) {
  for (std::size_t at = 0; (at = name.find('-', at)) != std::string::npos; at += 2) {
    name.replace(at, 1, "\\-");
  }
  return name;
}

TEST_F(KelvaneToolTest, ManPageAndCompletionHoldWhatHelpLists) {
  const fs::path share = fs::path(KELVANE_TOOL_PATH).parent_path().parent_path() / "share";
  const fs::path man = share / "man/man1/kelvane.1.gz";
  const fs::path completion = share / "bash-completion/completions/kelvane";
  ASSERT_TRUE(fs::is_regular_file(man));
  ASSERT_TRUE(fs::is_regular_file(completion));

  // Clean as lintian checks it: groff and man have nothing to say.
  const Outcome lint = RunShell(
      "LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 man --warnings -E UTF-8 "
      "-l -Tutf8 -Z " +
      man.string() + " 2>&1 >/dev/null");
  EXPECT_EQ(lint.status, 0);
  EXPECT_EQ(lint.out, "");

  // The man page's sections by command: `.SS "kelvane image resize"` opens one.
  const Outcome page = RunShell("gzip -dc " + man.string());
  ASSERT_EQ(page.status, 0);
  std::map<std::string, std::string> sections;
  std::string* section = &sections[""];
  std::istringstream lines(page.out);
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind(".SS \"kelvane ", 0) == 0) {
      std::string path = line.substr(13, line.size() - 14);
      for (std::size_t at = 0; (at = path.find("\\-", at)) != std::string::npos;) path.erase(at, 1);
      section = &sections[path];
    } else {
      *section += line + '\n';
    }
  }

  // Every command --help reaches, from the tool down; the completion asked for each one's options
  // (after "-") and subcommands (after nothing) in one bash run, in a folder holding one picture.
  std::map<std::string, HelpListing> listings;
  std::vector<std::string> pending = {""};
  while (!pending.empty()) {
    const std::string path = pending.back();
    pending.pop_back();
    const Outcome help = RunTool(path + " --help", dir_, {});
    ASSERT_EQ(help.status, 0) << path;
    listings[path] = ParseHelp(help.out);
    for (const std::string& sub : listings[path].subcommands) {
      pending.push_back(path.empty() ? sub : path + " " + sub);
    }
  }
  EXPECT_GT(listings.size(), 40u);
  fs::create_directory(dir_ / "complete");
  std::ofstream(dir_ / "complete" / "photo.png") << "x";
  std::string script = "cd " + (dir_ / "complete").string() + " && . " + completion.string() +
                       " && ask() { COMP_WORDS=(\"$@\"); COMP_CWORD=$(($# - 1)); _kelvane; "
                       "echo \"${COMPREPLY[*]}\"; }\n";
  for (const auto& [path, listing] : listings) {
    script += "ask kelvane " + path + " -\nask kelvane " + path + " ''\n";
  }
  script += "ask kelvane image resize --interpolation ''\nask kelvane image effect --mask p\n";
  std::ofstream(dir_ / "complete.sh") << script;
  const Outcome asked = RunShell("bash --norc --noprofile " + (dir_ / "complete.sh").string());
  fs::remove(dir_ / "complete.sh");
  fs::remove_all(dir_ / "complete");
  ASSERT_EQ(asked.status, 0);
  std::istringstream answers(asked.out);
  std::string options, subcommands;
  for (const auto& [path, listing] : listings) {
    SCOPED_TRACE("kelvane " + path);
    std::getline(answers, options);
    std::getline(answers, subcommands);
    const std::string& text = sections[path];
    EXPECT_FALSE(text.empty());
    for (const std::string& option : listing.options) {
      // The help option is described once, for every command.
      const bool help = option == "-h" || option == "--help";
      EXPECT_THAT(help ? sections[""] : text, HasSubstr("\\fB" + Roff(option) + "\\fR")) << option;
      EXPECT_THAT(" " + options + " ", HasSubstr(" " + option + " ")) << option;
    }
    for (const std::string& argument : listing.arguments) {
      EXPECT_THAT(text, HasSubstr("\\fI" + Roff(argument) + "\\fR")) << argument;
    }
    for (const std::string& sub : listing.subcommands) {
      EXPECT_THAT(text, HasSubstr("\\fB" + Roff(sub) + "\\fR")) << sub;
      EXPECT_THAT(" " + subcommands + " ", HasSubstr(" " + sub + " ")) << sub;
    }
  }
  std::string line;
  std::getline(answers, line);
  EXPECT_EQ(line, "default none low medium high");
  std::getline(answers, line);
  EXPECT_EQ(line, "photo.png");
}

}  // namespace
