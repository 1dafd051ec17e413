#include "batch/experiment_job.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/inotify.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <future>
#include <iterator>
#include <map>
#include <set>
#include <system_error>

#include "analysis/discharge_grouping.h"
#include "base/error.h"
#include "base/file_layer.h"
#include "batch/experiment_provenance.h"
#include "batch/sha256.h"
#include "recording/recording_lookup.h"

namespace ictalscope {

namespace fs = std::filesystem;

namespace {

// The files that an action wrote: those closed after writing (or renamed) in the folder, as
// inotify tells them, and those whose size, time or inode changed below it (inotify missing or
// overflowing, or a table in a subfolder).
class WriteWatch {
 public:
  WriteWatch() {
    fd_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (fd_ >= 0) watch_ = ::inotify_add_watch(fd_, ".", IN_CLOSE_WRITE | IN_MOVED_TO);
    if (fd_ >= 0 && watch_ < 0) {
      ::close(fd_);
      fd_ = -1;
    }
  }
  ~WriteWatch() {
    if (fd_ >= 0) ::close(fd_);
  }
  WriteWatch(const WriteWatch&) = delete;
  WriteWatch& operator=(const WriteWatch&) = delete;

  void Start() {
    Drain();
    names_.clear();
    overflow_ = fd_ < 0;
    before_ = Snapshot();
  }

  // Ends the watch. The kernel frees a watch a few milliseconds after it is removed, and the
  // close of the instance waits for that: removed when the actions end, the watch is gone by
  // the time the provenance is written and the instance closed.
  void Stop() {
    if (fd_ >= 0 && watch_ >= 0) ::inotify_rm_watch(fd_, watch_);
    watch_ = -1;
  }

  std::vector<OutputFile> Written() {
    Drain();
    const std::map<std::string, FileStamp> after = Snapshot();
    std::vector<OutputFile> files;
    for (const auto& [name, stamp] : after) {
      const auto was = before_.find(name);
      const bool changed = was == before_.end() || !(was->second == stamp);
      if (!overflow_ && !changed && names_.count(name) == 0) continue;
      try {
        const FileDigest digest = DigestFile(name);
        files.push_back({name, digest.size, digest.sha256});
      } catch (const Error&) {
      }
    }
    return files;
  }

 private:
  struct FileStamp {
    uintmax_t size;
    int64_t mtime_ns;
    uintmax_t inode;
    bool operator==(const FileStamp&) const = default;
  };

  static std::map<std::string, FileStamp> Snapshot() {
    std::map<std::string, FileStamp> files;
    std::error_code error;
    fs::recursive_directory_iterator it(".", error);
    for (; !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
      struct stat info;
      if (::stat(it->path().c_str(), &info) != 0 || !S_ISREG(info.st_mode)) continue;
      const std::string name = it->path().lexically_relative(".").generic_string();
      files[name] = {static_cast<uintmax_t>(info.st_size),
                     int64_t{info.st_mtim.tv_sec} * 1'000'000'000 + info.st_mtim.tv_nsec,
                     static_cast<uintmax_t>(info.st_ino)};
    }
    return files;
  }

  void Drain() {
    if (fd_ < 0) return;
    alignas(inotify_event) char buffer[16384];
    for (;;) {
      const ssize_t n = ::read(fd_, buffer, sizeof buffer);
      if (n <= 0) return;
      for (ssize_t at = 0; at < n;) {
        const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
        if ((event->mask & IN_Q_OVERFLOW) != 0) overflow_ = true;
        if (event->len > 0) names_.insert(event->name);
        at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
      }
    }
  }

  int fd_ = -1;
  int watch_ = -1;
  bool overflow_ = false;
  std::set<std::string> names_;
  std::map<std::string, FileStamp> before_;
};

// Records every action: the panel before it, its failure, what it wrote and the figures of the
// record it touched.
class JobRecorder : public BatchObserver {
 public:
  JobRecorder(BatchSession& session, const std::vector<std::string>& action_args)
      : s_(session), args_(action_args) {}

  void Before(const BatchAction& action, bool step) override {
    (void)action;
    closing_before_ = s_.analysis.ClosingIntervalMs;
    if (step) return;
    ActionProvenance record;
    record.action = next_ < args_.size() ? args_[next_] : "";
    ++next_;
    for (int i = 0; i < kFieldCount; ++i) {
      const FieldInfo& info = InfoOf(static_cast<Field>(i));
      record.panel.emplace_back(std::string(info.name), s_.panel.Text(info.field));
    }
    for (int i = 0; i < kCheckCount; ++i) {
      const CheckInfo& info = InfoOf(static_cast<Check>(i));
      record.checks.emplace_back(std::string(info.name), s_.panel.IsChecked(info.check));
    }
    record.name_box = s_.panel.NameBoxText();
    actions_.push_back(std::move(record));
    watch_.Start();
  }

  void After(const BatchAction& action, bool step, const std::string* error) override {
    ActionProvenance& record = actions_.back();
    if (error != nullptr) {
      if (!record.failed) record.message = *error;
      record.failed = true;
    } else {
      Figures(action.kind, record);
    }
    if (!step) record.wrote = watch_.Written();
  }

  std::vector<ActionProvenance>& actions() { return actions_; }
  // After the last action.
  void Finish() { watch_.Stop(); }

 private:
  RecordFigures& FiguresOf(ActionProvenance& record) {
    const int32_t number = s_.ws.trace.RecordNo;
    for (RecordFigures& figures : record.records) {
      if (figures.record == number) return figures;
    }
    record.records.push_back({});
    record.records.back().record = number;
    return record.records.back();
  }

  void Figures(BatchAction::Kind kind, ActionProvenance& record) {
    const Trace& trace = s_.ws.trace;
    switch (kind) {
      case BatchAction::Kind::kLoad:
      case BatchAction::Kind::kReload:
        if (trace.LastIndex >= 0) {
          RecordFigures& figures = FiguresOf(record);
          figures.samples = trace.LastIndex + int64_t{1};
          figures.interval_ms = trace.AcqTime;
        }
        break;
      case BatchAction::Kind::kSpikes:
        FiguresOf(record).spikes = s_.analysis.spikes.SpikeCount;
        break;
      case BatchAction::Kind::kIID:
        DischargeFigures(FiguresOf(record));
        break;
      case BatchAction::Kind::kStat:
        StatFigures(record);
        break;
      default:
        break;
    }
  }

  // The grouping that "IID" made, again, from the same spikes, settings and closing interval.
  void DischargeFigures(RecordFigures& figures) {
    const Panel& panel = s_.panel;
    const DischargeSettings settings{
        FieldValue(panel, Field::ISImax), FieldValue(panel, Field::NminSpikes),
        FieldValue(panel, Field::Vsilent), panel.IsChecked(Check::TimeThroughTraces)};
    const DischargeResult result = GroupDischarges(ColumnsOf(s_.analysis.spikes), settings,
                                                   s_.ws.trace.RecordNo, closing_before_);
    figures.iid_discharges = static_cast<int64_t>(result.mean.size());
    figures.id_discharges = static_cast<int64_t>(result.id.size());
    figures.mean_isi_s.reset();
    if (result.mean.empty()) return;
    long double sum = 0;
    for (const DischargeRow& row : result.mean) sum += row.ISImean_s;
    figures.mean_isi_s = static_cast<double>(sum / result.mean.size());
  }

  // The summary line of the file "stat" wrote, by the names of its header line.
  void StatFigures(ActionProvenance& record) {
    const Panel& panel = s_.panel;
    const std::string input =
        panel.IsChecked(Check::Read) ? panel.NameBoxText() : s_.analysis.ResultBaseName + "ID";
    std::ifstream in(input + "m", std::ios::binary);
    std::string header, values;
    if (!std::getline(in, header) || !std::getline(in, values)) return;
    const auto words = [](std::string line) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      std::vector<std::string> list;
      size_t start = 0;
      while (start <= line.size()) {
        const size_t blank = std::min(line.find(' ', start), line.size());
        if (blank > start) list.push_back(line.substr(start, blank - start));
        start = blank + 1;
      }
      return list;
    };
    const std::vector<std::string> names = words(header);
    const std::vector<std::string> numbers = words(values);
    record.stat.clear();
    for (size_t i = 0; i < names.size() && i < numbers.size(); ++i) {
      record.stat.emplace_back(names[i], numbers[i]);
    }
  }

  BatchSession& s_;
  const std::vector<std::string>& args_;
  size_t next_ = 0;
  double closing_before_ = 0;
  std::vector<ActionProvenance> actions_;
  WriteWatch watch_;
};

std::string FirstBytes(const std::string& path, size_t count) {
  std::ifstream in(path, std::ios::binary);
  std::string bytes(count, '\0');
  in.read(bytes.data(), static_cast<std::streamsize>(count));
  bytes.resize(static_cast<size_t>(in.gcount()));
  return bytes;
}

RecordingProvenance RecordingFacts(const std::string& path, const std::string& absolute,
                                   const FileDigest& digest, const BatchSession& session) {
  RecordingProvenance facts;
  facts.path = path;
  facts.size = digest.size;
  facts.sha256 = digest.sha256;
  if (const std::optional<RecordingInfo>& info = session.ws.recording) {
    facts.format = std::string(FormatName(info->format));
    facts.layout = info->layout;
    facts.mode = info->mode;
    facts.version = info->version;
    facts.records = info->records;
  } else {
    facts.format = std::string(FormatName(SniffFormat(FirstBytes(absolute, 512))));
  }
  return facts;
}

void WriteFileAtomically(const fs::path& path, const std::string& text) {
  const fs::path part = path.string() + ".partial";
  {
    std::ofstream out(part, std::ios::binary | std::ios::trunc);
    out << text;
    out.close();
    if (!out) throw Error(FileErrorMessage(errno, part.string()));
  }
  fs::rename(part, path);
}

// Puts the finished folder in place of `folder`, whatever was there: one rename onto a missing
// or empty folder, an exchange of the two otherwise (the old one is then removed).
void RenameIntoPlace(const fs::path& partial, const fs::path& folder) {
  if (::rename(partial.c_str(), folder.c_str()) == 0) return;
  if (errno != ENOTEMPTY && errno != EEXIST) {
    throw fs::filesystem_error("cannot rename", partial, folder,
                               std::error_code(errno, std::generic_category()));
  }
  if (::renameat2(AT_FDCWD, partial.c_str(), AT_FDCWD, folder.c_str(), RENAME_EXCHANGE) != 0) {
    // No exchange on this file system: the old folder goes aside first.
    const fs::path old = folder.parent_path() / ("." + folder.filename().string() + ".old");
    fs::remove_all(old);
    fs::rename(folder, old);
    fs::rename(partial, folder);
    fs::remove_all(old);
    return;
  }
  fs::remove_all(partial);
}

// --test-fault NAME:crash|sleep, when NAME is this recording's.
void TestFault(const std::string& fault, const std::string& name) {
  const size_t colon = fault.rfind(':');
  if (colon == std::string::npos || fault.substr(0, colon) != name) return;
  const std::string kind = fault.substr(colon + 1);
  if (kind == "crash") std::abort();
  if (kind == "sleep") ::sleep(120);
}

bool PlainWord(const std::string& word) {
  if (word.empty()) return false;
  for (char c : word) {
    const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                       std::string_view("_-+=:,./@%").find(c) != std::string_view::npos;
    if (!plain) return false;
  }
  return true;
}

}  // namespace

std::string PartialFolderName(const std::string& folder_name) {
  return "." + folder_name + ".partial";
}

std::string ShellCommandLine(const std::string& program, const std::vector<std::string>& args) {
  std::string line = program;
  for (const std::string& arg : args) {
    line += ' ';
    if (PlainWord(arg)) {
      line += arg;
      continue;
    }
    line += '\'';
    for (char c : arg) line += c == '\'' ? std::string("'\\''") : std::string(1, c);
    line += '\'';
  }
  return line;
}

int RunExperimentJob(const BatchCommandLine& line, const std::vector<std::string>& args,
                     std::ostream& out, std::ostream& err) {
  // A child of an experiment run ends with it.
  ::prctl(PR_SET_PDEATHSIG, SIGKILL);
  const ExperimentOptions& x = line.experiment;
  const std::string& recording = *x.job_recording;
  try {
    const fs::path absolute = fs::absolute(recording).lexically_normal();
    const fs::path folder = fs::absolute(*x.job_folder).lexically_normal();
    const std::string name = absolute.stem().string();
    std::vector<std::string> action_args = {"name=" + name};
    action_args.insert(action_args.end(), line.action_args.begin(), line.action_args.end());

    // The recording's digest decides whether an earlier run is done; with nothing to compare
    // it with, it is computed beside the actions, on a thread of its own.
    const std::optional<Provenance> done = x.force ? std::nullopt : ReadProvenance(folder);
    std::future<FileDigest> digest_later;
    std::optional<FileDigest> digest_now;
    if (done) {
      digest_now = DigestFile(absolute.string());
      if (IsDone(*done, digest_now->sha256, action_args, folder)) return kJobSkipped;
    } else {
      digest_later = std::async(std::launch::async, DigestFile, absolute.string());
    }

    fs::create_directories(folder.parent_path());
    const fs::path partial = folder.parent_path() / PartialFolderName(folder.filename().string());
    fs::remove_all(partial);
    fs::create_directory(partial);
    const fs::path previous = fs::current_path();
    fs::current_path(partial);

    SetRecordingAlias(name, absolute.string());
    SetRecordingAlias(absolute.filename().string(), absolute.string());
    BatchCommandLine run = line;
    run.actions.insert(run.actions.begin(), BatchAction{BatchAction::Kind::kName, name});
    BatchSession session;
    int status;
    Provenance provenance;
    JobRecorder recorder(session, action_args);
    status = RunBatchActions(session, run, out, err, &recorder);
    recorder.Finish();
    out.flush();
    provenance.actions = std::move(recorder.actions());
    ClearRecordingAliases();
    const FileDigest digest = digest_now ? *digest_now : digest_later.get();
    TestFault(x.test_fault, name);

    const BuildInfo build = ThisBuild();
    provenance.program = build.program;
    provenance.version = build.version;
    provenance.revision = build.revision;
    provenance.build_type = build.build_type;
    provenance.date = UtcNow();
    provenance.command_line =
        x.job_command_line ? *x.job_command_line : ShellCommandLine(build.program, args);
    provenance.recording = RecordingFacts(recording, absolute.string(), digest, session);
    provenance.failed = status != 0;
    provenance.outputs = FilesOf(".");
    WriteFileAtomically(kProvenanceFile, ProvenanceJson(provenance));

    fs::current_path(previous);
    RenameIntoPlace(partial, folder);
    return status;
  } catch (const Error& error) {
    err << "error: " << error.message() << '\n';
  } catch (const fs::filesystem_error& error) {
    err << "error: " << error.what() << '\n';
  }
  return 1;
}

}  // namespace ictalscope
