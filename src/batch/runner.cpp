// SPDX-License-Identifier: GPL-2.0-or-later
#include "batch/runner.h"

#include <poll.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <QByteArray>
#include <QFileInfo>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "batch/index_command.h"
#include "batch/interrupt.h"
#include "batch/preflight.h"
#include "batch/video_work.h"
#include "batch/write_answers.h"
#include "batchcli/output_checks.h"
#include "batchcli/terminal.h"
#include "framesource/image_writers.h"
#include "framesource/naming.h"
#include "media/index_store.h"
#include "merge/merge.h"
#include "rankfile/manifest.h"
#include "rankfile/rank_output.h"

namespace batch {

namespace {

constexpr int kExitUsage = 2;
constexpr int kExitStopped = 130;

// The outcome of every video, and what the command prints, writes and exits with.
class Outcomes {
public:
    Outcomes(const Settings& settings, Terminal& terminal)
        : s_(settings),
          terminal_(terminal),
          rankings_(size_t(settings.videos.size())),
          written_(size_t(settings.videos.size())) {
        for (qsizetype i = 0; i < settings.videos.size(); ++i) {
            rankings_[size_t(i)].video = settings.videos[i];
            rankings_[size_t(i)].measure = settings.measure;
        }
    }

    void Failure(size_t video, const QString& message) {
        terminal_.Message(message);
        rankings_[video].errors << message;
    }
    void Opened(size_t video, const VideoFacts& facts) { rankings_[video].facts = facts; }
    void Segment(size_t video, const SegmentFacts& segment) { rankings_[video].segment = segment; }
    void Ranked(size_t video, std::vector<RankedFrame> frames, std::optional<std::vector<scenes::Cut>> cuts) {
        rankings_[video].ranked = true;
        rankings_[video].frames = std::move(frames);
        rankings_[video].cuts = std::move(cuts);
    }
    void Wrote(size_t video, const WrittenFrame& file) {
        written_[video].push_back(file);
        if (file.kept) ++skipped_;
    }

    // The video's work is over: text rankings are printed in the command line's order.
    void Finish(size_t video, VideoStatus status) {
        terminal_.Finished(video);
        if (status == VideoStatus::Failed) failed_ = true;
        if (status == VideoStatus::StopCommand) conflict_ = true;
        if (status == VideoStatus::Stopped) stopped_ = true;
        if (s_.command != Command::Rank || s_.json) return;
        finished_.resize(rankings_.size());
        finished_[video] = true;
        while (printed_ < finished_.size() && finished_[printed_]) {
            const QByteArray text = RankingText(rankings_[printed_], rankings_.size() > 1);
            // The measure's line comes once, before the first ranking (a segment names it itself).
            if (!measureSaid_ && !text.isEmpty() && !rankings_[printed_].segment) {
                terminal_.Output(MeasureLine(s_.measure));
                measureSaid_ = true;
            }
            terminal_.Output(text);
            rankings_[printed_].frames.clear();
            ++printed_;
        }
        // Rankings that cannot be printed are not worth making: the command stops.
        if (terminal_.OutputFailed()) conflict_ = true;
    }
    bool Conflict() const { return conflict_; }

    int ExitStatus() {
        terminal_.EndProgress();
        if (s_.command == Command::Rank && s_.json) terminal_.Output(RankingJson(rankings_));
        if (s_.command == Command::Extract) Report();
        if (conflict_ || failed_ || terminal_.OutputFailed()) return 1;
        return stopped_ || StopRequested() ? kExitStopped : 0;
    }

private:
    // The files written, in their numbers' order, which is the command line's.
    std::vector<WrittenFile> Files() const {
        std::vector<WrittenFile> files;
        for (size_t video = 0; video < written_.size(); ++video) {
            for (const WrittenFrame& w : written_[video]) {
                files.push_back({OutputName(s_, w.number), rankings_[video].video, w.frame, w.time, w.value, w.kept});
            }
        }
        return files;
    }

    // The manifest, and what was done in one line.
    void Report() {
        std::vector<WrittenFile> files = Files();
        if (!s_.manifest.isEmpty()) {
            if (const int error = WriteManifest(s_.manifest, files, s_.measure); error != 0) {
                terminal_.Message(WriteFailure(s_.manifest, error));
                failed_ = true;
            }
        }
        if (s_.quiet) return;
        std::erase_if(files, [](const WrittenFile& f) { return f.kept; });
        QString done = files.empty()       ? QStringLiteral("wrote no file in %1").arg(s_.outDir)
                       : files.size() == 1 ? QStringLiteral("wrote 1 file in %1: %2").arg(s_.outDir, files[0].name)
                                           : QStringLiteral("wrote %1 files in %2: %3 to %4")
                                                 .arg(files.size())
                                                 .arg(s_.outDir, files.front().name, files.back().name);
        if (skipped_ > 0) {
            done += QStringLiteral("; %1 existing file%2 left as %3 %4")
                        .arg(skipped_)
                        .arg(skipped_ == 1 ? "" : "s")
                        .arg(skipped_ == 1 ? "it" : "they")
                        .arg(skipped_ == 1 ? "was" : "were");
        }
        terminal_.Message(done);
    }

    const Settings& s_;
    Terminal& terminal_;
    std::vector<VideoRanking> rankings_;
    std::vector<std::vector<WrittenFrame>> written_;  // per video
    int64_t skipped_ = 0;
    std::vector<bool> finished_;
    size_t printed_ = 0;
    bool measureSaid_ = false;
    bool failed_ = false;
    bool conflict_ = false;
    bool stopped_ = false;
};

// ---- one video after the other, in this process ----

class LocalHost : public VideoHost {
public:
    LocalHost(Terminal& terminal, Outcomes& outcomes, size_t video, const QString& name, int64_t& nextNumber)
        : terminal_(terminal), outcomes_(outcomes), video_(video), name_(name), nextNumber_(nextNumber) {}
    void ReserveNames(int64_t names) override {
        first_ = nextNumber_;
        nextNumber_ += names;
    }
    int64_t FirstNumber() override { return first_; }
    void Progress(int64_t done, int64_t total) override { terminal_.Progress(video_, name_, done, total); }
    void Opened(const VideoFacts& facts) override { outcomes_.Opened(video_, facts); }
    void Segment(const SegmentFacts& segment) override { outcomes_.Segment(video_, segment); }
    void Ranked(const std::vector<RankedFrame>& ranked, const std::optional<std::vector<scenes::Cut>>& cuts) override {
        outcomes_.Ranked(video_, ranked, cuts);
    }
    void Wrote(const WrittenFrame& file) override { outcomes_.Wrote(video_, file); }
    void Failure(const QString& message) override { outcomes_.Failure(video_, message); }

private:
    Terminal& terminal_;
    Outcomes& outcomes_;
    size_t video_;
    QString name_;
    int64_t& nextNumber_;
    int64_t first_ = 0;
};

int RunHere(const Settings& s, Terminal& terminal) {
    Outcomes outcomes(s, terminal);
    int64_t nextNumber = s.start;
    for (qsizetype i = 0; i < s.videos.size() && !StopRequested() && !outcomes.Conflict(); ++i) {
        LocalHost host(terminal, outcomes, size_t(i), s.videos[i], nextNumber);
        outcomes.Finish(size_t(i), RunVideo(s, s.videos[i], host));
    }
    return outcomes.ExitStatus();
}

// ---- several videos at a time, each in a worker process ----
//
// A worker tells the command, one line each: "names N", "progress DONE TOTAL",
// "facts FRAMES RATE WIDTH HEIGHT", "rank FRAME BYTES TIME", "wrote NUMBER FRAME TIME BYTES KEPT",
// "fail MESSAGE" (its bytes in hex); the command answers "first NUMBER" once the
// videos before have reserved their names. The worker's exit status is its VideoStatus.

// A number that reads back the same.
std::string Exact(double value) { return QByteArray::number(value, 'g', 17).toStdString(); }

// A frame's value between the processes: its steps, "unreadable" or "none" (not measured).
std::string ValueWord(const ranking::Value& value) {
    if (value.Measured()) return std::to_string(value.steps);
    return value.state == ranking::Value::State::Unreadable ? "unreadable" : "none";
}
ranking::Value ValueOfWord(const std::string& word) {
    if (word == "unreadable") return ranking::Value::Unreadable();
    if (word == "none" || word.empty()) return {};
    return ranking::Value::Of(std::stoll(word));
}

bool WriteAll(int fd, const std::string& text) {
    size_t sent = 0;
    while (sent < text.size()) {
        const ssize_t n = write(fd, text.data() + sent, text.size() - sent);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        sent += size_t(n);
    }
    return true;
}

class WorkerHost : public VideoHost {
public:
    WorkerHost(int toCommand, int fromCommand) : out_(toCommand), in_(fromCommand) {}
    void ReserveNames(int64_t names) override { Send("names " + std::to_string(names)); }
    int64_t FirstNumber() override {
        std::string line;
        char c = 0;
        for (;;) {
            const ssize_t n = read(in_, &c, 1);
            if (n < 0 && errno == EINTR) {
                if (StopRequested()) return -1;
                continue;
            }
            if (n <= 0) return -1;
            if (c == '\n') break;
            line += c;
        }
        return line.rfind("first ", 0) == 0 ? std::stoll(line.substr(6)) : -1;
    }
    void Progress(int64_t done, int64_t total) override {
        Send("progress " + std::to_string(done) + ' ' + std::to_string(total));
    }
    void Opened(const VideoFacts& f) override {
        Send("facts " + std::to_string(f.frameCount) + ' ' + Exact(f.frameRate) + ' ' + std::to_string(f.width) + ' ' +
             std::to_string(f.height));
    }
    // A worker ranks whole videos: each frame with its scene, then the cuts.
    void Ranked(const std::vector<RankedFrame>& ranked, const std::optional<std::vector<scenes::Cut>>& cuts) override {
        std::string text;
        for (const RankedFrame& r : ranked) {
            text += "rank " + std::to_string(r.frame) + ' ' + ValueWord(r.value) + ' ' + Exact(r.time) + ' ' +
                    std::to_string(r.scene) + '\n';
        }
        for (const scenes::Cut& cut : cuts.value_or(std::vector<scenes::Cut>{})) {
            text += "cut " + std::to_string(cut.frame) + ' ' + std::to_string(cut.transitionFirst) + ' ' +
                    std::to_string(cut.transitionEnd) + '\n';
        }
        WriteAll(out_, text);
    }
    void Wrote(const WrittenFrame& w) override {
        Send("wrote " + std::to_string(w.number) + ' ' + std::to_string(w.frame) + ' ' + Exact(w.time) + ' ' +
             ValueWord(w.value) + ' ' + (w.kept ? '1' : '0'));
    }
    void Failure(const QString& message) override { Send("fail " + naming::PathBytes(message).toHex().toStdString()); }

private:
    void Send(const std::string& line) { WriteAll(out_, line + '\n'); }
    int out_;
    int in_;
};

struct Worker {
    size_t video = 0;
    pid_t pid = -1;
    int fromWorker = -1;
    int toWorker = -1;
    std::string pending;  // a line not yet complete
    std::vector<RankedFrame> ranked;
    std::optional<std::vector<scenes::Cut>> cuts;
    bool stopSent = false;
};

class Pool {
public:
    Pool(const Settings& settings, Terminal& terminal)
        : s_(settings),
          terminal_(terminal),
          outcomes_(settings, terminal),
          names_(size_t(settings.videos.size()), -1),
          nextNumber_(settings.start) {}

    int Run() {
        const size_t videos = names_.size();
        size_t next = 0;
        while (next < videos || !workers_.empty()) {
            const bool ending = StopRequested() || outcomes_.Conflict();
            if (ending) {
                // Videos not begun reserve nothing; running workers are told to stop.
                for (; next < videos; ++next) names_[next] = 0;
                for (Worker& w : workers_) {
                    if (w.stopSent) continue;
                    kill(w.pid, SIGINT);
                    w.stopSent = true;
                }
            }
            while (!ending && next < videos && workers_.size() < size_t(s_.jobs)) Start(next++);
            GiveFirstNumbers();
            if (workers_.empty()) continue;
            Wait();
        }
        return outcomes_.ExitStatus();
    }

private:
    void Start(size_t video) {
        int up[2], down[2];
        if (pipe(up) != 0 || pipe(down) != 0) {
            outcomes_.Failure(video, QStringLiteral("%1: cannot start a worker").arg(s_.videos[qsizetype(video)]));
            names_[video] = 0;
            outcomes_.Finish(video, VideoStatus::Failed);
            return;
        }
        std::fflush(nullptr);
        const pid_t parent = getpid();
        const pid_t pid = fork();
        if (pid == 0) {
            // A worker stops as a stop signal would stop it when the command dies; a command
            // that died before this took hold is no longer its parent.
            if (prctl(PR_SET_PDEATHSIG, SIGTERM) != 0 || getppid() != parent) _exit(int(VideoStatus::Stopped));
            close(up[0]);
            close(down[1]);
            for (const Worker& other : workers_) close(other.fromWorker), close(other.toWorker);
            WorkerHost host(up[1], down[0]);
            const VideoStatus status = RunVideo(s_, s_.videos[qsizetype(video)], host);
            std::fflush(nullptr);
            _exit(int(status));
        }
        close(up[1]);
        close(down[0]);
        if (pid < 0) {
            close(up[0]);
            close(down[1]);
            outcomes_.Failure(video, QStringLiteral("%1: cannot start a worker").arg(s_.videos[qsizetype(video)]));
            names_[video] = 0;
            outcomes_.Finish(video, VideoStatus::Failed);
            return;
        }
        Worker w;
        w.video = video;
        w.pid = pid;
        w.fromWorker = up[0];
        w.toWorker = down[1];
        workers_.push_back(std::move(w));
    }

    void GiveFirstNumbers() {
        while (numbered_ < names_.size() && names_[numbered_] >= 0) {
            for (Worker& w : workers_) {
                if (w.video == numbered_) WriteAll(w.toWorker, "first " + std::to_string(nextNumber_) + '\n');
            }
            nextNumber_ += names_[numbered_];
            ++numbered_;
        }
    }

    void Wait() {
        std::vector<pollfd> fds;
        for (const Worker& w : workers_) fds.push_back({w.fromWorker, POLLIN, 0});
        if (poll(fds.data(), fds.size(), 200) <= 0) return;  // a signal or the redraw interval
        for (size_t i = fds.size(); i-- > 0;) {
            if (fds[i].revents == 0) continue;
            Worker& w = workers_[i];
            char buffer[65536];
            const ssize_t n = read(w.fromWorker, buffer, sizeof buffer);
            if (n < 0 && errno == EINTR) continue;
            if (n > 0) {
                w.pending.append(buffer, size_t(n));
                Lines(w);
                continue;
            }
            End(i);
        }
    }

    void Lines(Worker& w) {
        size_t start = 0;
        for (size_t end; (end = w.pending.find('\n', start)) != std::string::npos; start = end + 1) {
            std::istringstream line(w.pending.substr(start, end - start));
            std::string word;
            line >> word;
            if (word == "names") {
                line >> names_[w.video];
            } else if (word == "progress") {
                int64_t done = 0, total = 0;
                line >> done >> total;
                terminal_.Progress(w.video, s_.videos[qsizetype(w.video)], done, total);
            } else if (word == "facts") {
                VideoFacts f;
                line >> f.frameCount >> f.frameRate >> f.width >> f.height;
                outcomes_.Opened(w.video, f);
            } else if (word == "rank") {
                RankedFrame r;
                std::string value;
                line >> r.frame >> value >> r.time >> r.scene;
                r.value = ValueOfWord(value);
                w.ranked.push_back(r);
                if (r.scene > 0 && !w.cuts) w.cuts.emplace();
            } else if (word == "cut") {
                scenes::Cut cut;
                line >> cut.frame >> cut.transitionFirst >> cut.transitionEnd;
                if (!w.cuts) w.cuts.emplace();
                w.cuts->push_back(cut);
            } else if (word == "wrote") {
                WrittenFrame file;
                int kept = 0;
                std::string value;
                line >> file.number >> file.frame >> file.time >> value >> kept;
                file.value = ValueOfWord(value);
                file.kept = kept != 0;
                outcomes_.Wrote(w.video, file);
            } else if (word == "fail") {
                std::string hex;
                line >> hex;
                outcomes_.Failure(w.video, naming::PathText(QByteArray::fromHex(QByteArray::fromStdString(hex))));
            }
        }
        w.pending.erase(0, start);
    }

    void End(size_t index) {
        Worker w = std::move(workers_[index]);
        workers_.erase(workers_.begin() + ptrdiff_t(index));
        close(w.fromWorker);
        close(w.toWorker);
        int waitStatus = 0;
        while (waitpid(w.pid, &waitStatus, 0) < 0 && errno == EINTR) {
        }
        if (names_[w.video] < 0) names_[w.video] = 0;
        VideoStatus status = VideoStatus::Failed;
        if (WIFEXITED(waitStatus) && WEXITSTATUS(waitStatus) <= int(VideoStatus::Stopped)) {
            status = VideoStatus(WEXITSTATUS(waitStatus));
        } else {
            outcomes_.Failure(
                w.video, QStringLiteral("%1: the worker ended abnormally (%2)")
                             .arg(s_.videos[qsizetype(w.video)])
                             .arg(WIFSIGNALED(waitStatus) ? QStringLiteral("signal %1").arg(WTERMSIG(waitStatus))
                                                          : QStringLiteral("status %1").arg(WEXITSTATUS(waitStatus))));
        }
        if (s_.command == Command::Rank && status != VideoStatus::Stopped && WIFEXITED(waitStatus)) {
            if (status == VideoStatus::Done || !w.ranked.empty())
                outcomes_.Ranked(w.video, std::move(w.ranked), std::move(w.cuts));
        }
        outcomes_.Finish(w.video, status);
    }

    const Settings& s_;
    Terminal& terminal_;
    Outcomes outcomes_;
    std::vector<Worker> workers_;
    std::vector<int64_t> names_;  // per video; -1 until known
    size_t numbered_ = 0;
    int64_t nextNumber_;
};

bool PrepareOutDir(const Settings& s, Terminal& terminal) {
    if (s.command != Command::Extract) return true;
    namespace fs = std::filesystem;
    const std::string dir = naming::PathBytes(s.outDir).toStdString();
    std::error_code error;
    if (!fs::exists(dir, error) && !fs::create_directories(dir, error)) {
        terminal.Message(QStringLiteral("%1: cannot make the output directory").arg(s.outDir));
        return false;
    }
    if (!fs::is_directory(dir, error)) {
        terminal.Message(QStringLiteral("%1: not a directory").arg(s.outDir));
        return false;
    }
    if (access(dir.c_str(), W_OK | X_OK) != 0) {
        terminal.Message(QStringLiteral("%1: cannot write there: permission denied").arg(s.outDir));
        return false;
    }
    return true;
}

}  // namespace

namespace {

int Run(const Settings& given, Terminal& terminal) {
    if (given.command == Command::Merge) return MergeSegments(given, terminal);
    // extract --ranking takes the measure its file ranks by.
    Settings settings = given;
    if (!settings.indexDir.isEmpty()) {
        media::index_store::SetDirectory(naming::PathBytes(settings.indexDir).toStdString());
    }
    if (settings.command == Command::Index) return IndexVideos(settings, terminal);
    if (const QString mistake = FindVideoMistake(settings); !mistake.isEmpty()) {
        terminal.Message(mistake);
        return kExitUsage;
    }
    // What would fail only once pictures are written, or after a long ranking.
    for (const QString& mistake :
         {PlotMistake(settings), ManifestMistake(settings), FindRankingMistake(settings, settings.measure)}) {
        if (mistake.isEmpty()) continue;
        terminal.Message(mistake);
        return 1;
    }
    if (StopRequested()) return kExitStopped;
    if (!PrepareOutDir(settings, terminal)) return 1;
    // What a killed run left written aside in the folders this one writes into.
    for (const QString& path : {settings.manifest, settings.plot}) {
        if (!path.isEmpty()) image_writers::RemoveLeftovers(QFileInfo(path).path());
    }
    if (settings.command == Command::Extract) image_writers::RemoveLeftovers(settings.outDir);
    if (settings.jobs <= 1 || settings.videos.size() <= 1) return RunHere(settings, terminal);
    return Pool(settings, terminal).Run();
}

}  // namespace

int RunCommand(const Settings& settings) {
    Terminal terminal;
    const WriterAnswers answers(settings.existing == Existing::Overwrite, terminal);
    if (!settings.quiet) terminal.EnableProgress();
    return terminal.CloseOutput(Run(settings, terminal));
}

}  // namespace batch
