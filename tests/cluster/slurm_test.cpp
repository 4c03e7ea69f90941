// SPDX-License-Identifier: GPL-2.0-or-later
// scripts/cluster/slurm-rank.sh on a real one-node Slurm cluster, started here with its own
// munge key, configuration, state and ports in a temporary folder, and stopped whatever happens.
#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <random>
#include <sstream>
#include <thread>

#include "support/fixture_video.h"
#include "support/run_program.h"

namespace {

using namespace std::chrono_literals;
using testing_support::RunWithoutDisplay;

std::string Which(const std::string& name) {
    for (const char* dir : {"/usr/local/sbin", "/usr/local/bin", "/usr/sbin", "/usr/bin", "/sbin", "/bin"}) {
        const std::string path = std::string(dir) + "/" + name;
        if (access(path.c_str(), X_OK) == 0) return path;
    }
    return {};
}

// A TCP port nobody listens on now, so that a cluster already on this machine is left alone.
int FreePort() {
    const int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address);
    getsockname(s, reinterpret_cast<sockaddr*>(&address), &length);
    close(s);
    return ntohs(address.sin_port);
}

// The daemons, each started in a process group of its own. This process adopts what they leave
// (slurmd detaches each job's slurmstepd), so that stopping ends every process they made, also
// when the test fails half way.
class Daemons {
public:
    Daemons() { prctl(PR_SET_CHILD_SUBREAPER, 1); }
    ~Daemons() { StopAll(); }

    void Start(const std::vector<std::string>& arguments, const std::string& log) {
        std::vector<char*> argv;
        for (const std::string& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        const int out = open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
        const pid_t pid = fork();
        if (pid == 0) {
            // Killed with this process too, should it be killed before it stops them.
            setpgid(0, 0);
            prctl(PR_SET_PDEATHSIG, SIGKILL);
            dup2(out, 1);
            dup2(out, 2);
            execv(argv[0], argv.data());
            _exit(127);
        }
        close(out);
        if (pid > 0) groups_.push_back(pid);
    }

    void StopAll() {
        for (int round = 0; round < 40; ++round) {
            std::vector<pid_t> children = Children();
            if (children.empty()) return;
            const int signal = round < 20 ? SIGTERM : SIGKILL;
            for (pid_t group : groups_) kill(-group, signal);
            for (pid_t child : children) kill(child, signal);
            const auto until = std::chrono::steady_clock::now() + 250ms;
            while (std::chrono::steady_clock::now() < until) {
                if (waitpid(-1, nullptr, WNOHANG) <= 0) std::this_thread::sleep_for(10ms);
            }
        }
    }

private:
    // This process's children, adopted ones included.
    static std::vector<pid_t> Children() {
        std::vector<pid_t> children;
        for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
            std::ifstream stat(entry.path() / "stat");
            std::string line;
            if (!std::getline(stat, line) || line.rfind(')') == std::string::npos) continue;
            // pid (name) state ppid ...
            std::istringstream rest(line.substr(line.rfind(')') + 2));
            char state = 0;
            pid_t parent = 0;
            rest >> state >> parent;
            if (parent == getpid()) children.push_back(std::stoi(entry.path().filename().string()));
        }
        return children;
    }

    std::vector<pid_t> groups_;
};

void WriteFile(const std::string& path, const std::string& text) { std::ofstream(path) << text; }

std::string ReadFile(const std::string& path) {
    std::ifstream in(path);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

QString Output(const std::string& program, const QStringList& arguments) {
    return RunWithoutDisplay(QString::fromStdString(Which(program)), arguments).out.trimmed();
}

// A chunk of the AVI file's Nth frame filled with zeros: that frame cannot be decoded.
bool SpoilFrame(const std::string& avi, int frame) {
    std::string bytes = ReadFile(avi);
    size_t at = bytes.find("movi");
    for (int i = 0; i <= frame && at != std::string::npos; ++i) at = bytes.find("00dc", at + 4);
    if (at == std::string::npos || at + 8 > bytes.size()) return false;
    uint32_t size = 0;
    std::memcpy(&size, bytes.data() + at + 4, 4);
    if (at + 8 + size > bytes.size()) return false;
    std::fill_n(bytes.begin() + std::ptrdiff_t(at + 8), size, '\0');
    WriteFile(avi, bytes);
    return true;
}

// 4 KiB of noise a third of the way into an MP4's samples, which FFmpeg writes before the
// tables: the tables still list every picture, a decode presents fewer.
bool SpoilSamples(const std::string& mp4) {
    std::string bytes = ReadFile(mp4);
    const size_t samples = bytes.rfind("moov");
    if (samples == std::string::npos || samples < 3 * 4096) return false;
    std::mt19937 random(3);
    for (size_t i = 0, at = samples / 3; i < 4096; ++i) bytes[at + i] = char(random());
    WriteFile(mp4, bytes);
    return true;
}

// The script on the cluster, over the cases a user meets: the merged ranking is byte for byte
// what one orvexa-batch prints for the same videos (frames that could not be decoded listed
// last, the script saying how many), also when there are more tasks than one array may hold,
// when the folder's name holds sbatch's pattern characters, and when a task finds an MP4
// indexed from its tables damaged (its stretches ranked before are ranked again on the index
// of its data, and a second job merges); a video no task can rank
// makes --wait fail; what can be refused is refused before anything is submitted; no job is
// ever left waiting.
TEST(SlurmCluster, MergedRankingIsWhatOneProcessPrints) {
    if (geteuid() != 0) GTEST_SKIP() << "starting the Slurm and munge daemons needs root";
    for (const char* program : {"munged", "slurmctld", "slurmd", "sbatch", "sinfo", "squeue", "scontrol", "scancel"}) {
        if (Which(program).empty())
            GTEST_SKIP() << program << " is missing: scripts/install-deps.sh all installs slurm-wlm and munge";
    }
    fixture::TempDir dir;
    const std::string root = dir.File("cluster") + "/";
    std::filesystem::create_directory(root);
    for (const char* sub : {"munge", "state", "spool"}) std::filesystem::create_directory(root + sub);
    Daemons daemons;

    std::string key(1024, '\0');
    std::random_device random;
    for (char& c : key) c = static_cast<char>(random());
    WriteFile(root + "munge/key", key);
    chmod((root + "munge/key").c_str(), 0400);
    daemons.Start({Which("munged"), "--foreground", "--force", "--key-file=" + root + "munge/key",
                   "--socket=" + root + "munge/socket", "--pid-file=" + root + "munge/pid",
                   "--seed-file=" + root + "munge/seed", "--log-file=" + root + "munge/log"},
                  root + "munged.out");
    for (int i = 0; i < 100 && !std::filesystem::exists(root + "munge/socket"); ++i) std::this_thread::sleep_for(50ms);

    char name[256] = {};
    gethostname(name, sizeof name - 1);
    const std::string host = std::string(name).substr(0, std::string(name).find('.'));
    const std::string cpus = std::to_string(std::max(1u, std::thread::hardware_concurrency()));
    // The node's address is given, so that nothing depends on the host name resolving.
    const std::vector<std::string> lines = {
        "ClusterName=orvexatest",
        "SlurmctldHost=" + host + "(127.0.0.1)",
        "SlurmctldPort=" + std::to_string(FreePort()),
        "SlurmdPort=" + std::to_string(FreePort()),
        "AuthType=auth/munge",
        "CredType=cred/munge",
        "AuthInfo=socket=" + root + "munge/socket",
        "SlurmUser=root",
        "SlurmdUser=root",
        "StateSaveLocation=" + root + "state",
        "SlurmdSpoolDir=" + root + "spool",
        "SlurmctldPidFile=" + root + "slurmctld.pid",
        "SlurmdPidFile=" + root + "slurmd.pid",
        "SlurmctldLogFile=" + root + "slurmctld.log",
        "SlurmdLogFile=" + root + "slurmd.log",
        // No cgroups, no accounting: nothing of the machine's own set-up is needed.
        "ProctrackType=proctrack/linuxproc",
        "TaskPlugin=task/none",
        "JobAcctGatherType=jobacct_gather/none",
        "AccountingStorageType=accounting_storage/none",
        // A task takes one processor, not the node's whole memory, so tasks run side by side.
        "SelectType=select/cons_tres",
        "SelectTypeParameters=CR_CPU",
        "MpiDefault=none",
        // Task indices 0 to 5: more tasks than six take several arrays.
        "MaxArraySize=6",
        "ReturnToService=2",
        "NodeName=" + host + " NodeAddr=127.0.0.1 CPUs=" + cpus + " State=UNKNOWN",
        "PartitionName=test Nodes=" + host + " Default=YES MaxTime=INFINITE State=UP",
    };
    std::string conf;
    for (const std::string& line : lines) conf += line + "\n";
    WriteFile(root + "slurm.conf", conf);
    // slurmd sets up a cgroup plugin even when nothing uses it; cgroup/v1 loads without any
    // cgroup file system mounted, where detecting the version fails (a chroot, a container).
    WriteFile(root + "cgroup.conf", "CgroupPlugin=cgroup/v1\n");
    setenv("SLURM_CONF", (root + "slurm.conf").c_str(), 1);
    daemons.Start({Which("slurmctld"), "-D", "-f", root + "slurm.conf"}, root + "slurmctld.out");
    daemons.Start({Which("slurmd"), "-D", "-f", root + "slurm.conf", "-N", host}, root + "slurmd.out");
    // What the daemons said, when the test fails.
    struct Logs {
        std::string root;
        ~Logs() {
            if (!testing::Test::HasFailure()) return;
            for (const char* log : {"munged.out", "munge/log", "slurmctld.log", "slurmd.log"})
                std::cerr << "--- " << log << ":\n" << ReadFile(root + log) << "\n";
        }
    } logs{root};

    const auto until = std::chrono::steady_clock::now() + 60s;
    while (Output("sinfo", {"-h", "-o", "%T"}) != "idle" && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(250ms);
    ASSERT_EQ(Output("sinfo", {"-h", "-o", "%T"}), "idle") << "the node did not come up";

    const QString first = QString::fromStdString(root + "first.mp4");
    const QString second = QString::fromStdString(root + "second.avi");
    const QString spoilt = QString::fromStdString(root + "spoilt.avi");
    const QString notVideo = QString::fromStdString(root + "not-a-video.mp4");
    const QString damaged = QString::fromStdString(root + "damaged.mp4");
    fixture::VideoOptions video;
    video.frames = 300;
    video.codec = fixture::Codec::H264;
    video.container = "mp4";
    ASSERT_TRUE(fixture::WriteVideo(first.toStdString(), video));
    ASSERT_TRUE(fixture::WriteVideo(damaged.toStdString(), video));
    ASSERT_TRUE(SpoilSamples(damaged.toStdString()));
    video.frames = 240;
    video.codec = fixture::Codec::Mpeg4BFrames;
    video.container = "avi";
    ASSERT_TRUE(fixture::WriteVideo(second.toStdString(), video));
    video.frames = 60;
    video.codec = fixture::Codec::Mjpeg;
    ASSERT_TRUE(fixture::WriteVideo(spoilt.toStdString(), video));
    ASSERT_TRUE(SpoilFrame(spoilt.toStdString(), 20));
    WriteFile(notVideo.toStdString(), "not a video");

    const QString script = QStringLiteral(ORVEXA_TEST_DIR "/../../scripts/cluster/slurm-rank.sh");
    struct Case {
        const char* name;
        QStringList arguments;  // before --out DIR --wait
        std::string out;        // DIR, in the cluster's folder
        std::string batch;      // ORVEXA_BATCH
        int exitCode;
        const char* said;    // what the script's messages match
        QStringList ranked;  // the videos ranking.json ranks; none: it is not written
        bool submitted;      // false: refused before anything is made or submitted
        // Merge jobs: 2 when stretches were ranked again; 0: either. Tasks that start after the one
        // that found the damage rank on the index it saved: whether any ranked on the tables
        // first depends on which tasks the node runs at once.
        int merges = 1;
    };
    const std::string program = ORVEXA_BATCH_PATH;
    const Case cases[] = {
        {"8 tasks, in two arrays",
         {first, second, "--segments", "4"},
         "out1",
         program,
         0,
         "Job array \\d+: tasks 1 to 6 of 8[^\\n]*\\nJob array \\d+: tasks 7 to 8 of 8",
         {first, second},
         true},
        {"a damaged video among healthy ones",
         {first, spoilt, second, "--segments", "2"},
         "out2",
         program,
         1,
         "slurm-rank.sh: [^\\n]*/spoilt.avi: 1 frames could not be decoded \\(ranked last, with 0 bytes\\)\\n"
         "Ranking written to [^\\n]*/out2/ranking.json\\n$",
         {first, spoilt, second},
         true},
        {"an MP4 found damaged by a task",
         {damaged, first, "--segments", "4"},
         "out3",
         program,
         0,
         "Waiting for job \\d+, which merges once the stretches ranked again are|Ranking written to",
         {damaged, first},
         true,
         0},
        {"% in the folder's name",
         {second, "--segments", "2"},
         "out%A_%a%%j",
         program,
         0,
         "Ranking written to [^\\n]*/out%A_%a%%j/ranking.json",
         {second},
         true},
        {"\\ and % in the folder's name",
         {second, "--segments", "2"},
         "out\\x%j",
         program,
         0,
         "Ranking written to [^\\n]*/out\\\\x%j/ranking.json",
         {second},
         true},
        {"a video no task can rank",
         {first, notVideo, "--segments", "2"},
         "out4",
         program,
         1,
         "not-a-video.mp4, stretch ./2\\) failed",
         {},
         true},
        {"the same video twice",
         {first, QString::fromStdString(root + "./first.mp4")},
         "twice",
         program,
         1,
         "first.mp4' is given twice",
         {},
         false},
        {"ORVEXA_BATCH a folder", {first}, "folder", root, 1, "not a program that can be run", {}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString out = QString::fromStdString(root + c.out);
        setenv("ORVEXA_BATCH", c.batch.c_str(), 1);
        const auto run = RunWithoutDisplay(script, c.arguments + QStringList{"--out", out, "--wait"});
        const QString said = run.out + run.err;
        EXPECT_EQ(run.exitCode, c.exitCode) << said.toStdString();
        EXPECT_TRUE(said.contains(QRegularExpression(c.said))) << said.toStdString();
        EXPECT_EQ(QFile::exists(out), c.submitted);
        if (c.ranked.isEmpty()) {
            EXPECT_FALSE(QFile::exists(out + "/ranking.json"));
        } else {
            const auto alone =
                RunWithoutDisplay(ORVEXA_BATCH_PATH, QStringList{"rank"} + c.ranked + QStringList{"--json"});
            EXPECT_EQ(alone.exitCode, c.exitCode);
            QFile ranking(out + "/ranking.json");
            ASSERT_TRUE(ranking.open(QIODevice::ReadOnly));
            EXPECT_EQ(ranking.readAll(), alone.out.toUtf8());
            const int segments = c.arguments.at(c.arguments.indexOf("--segments") + 1).toInt();
            EXPECT_EQ(QDir(out + "/parts").entryList(QDir::Files).size(), c.ranked.size() * segments);
            // Each task's log and the merge's, under the folder's own name.
            const qsizetype ranks = QDir(out + "/logs").entryList({"rank-*_*.out"}, QDir::Files).size();
            const qsizetype merges = QDir(out + "/logs").entryList({"merge-*.out"}, QDir::Files).size();
            if (c.merges != 0) EXPECT_EQ(merges, c.merges);
            if (merges == 1) {
                EXPECT_EQ(ranks, c.ranked.size() * segments);
            } else {
                EXPECT_EQ(merges, 2);
                EXPECT_GT(ranks, c.ranked.size() * segments);
            }
        }
        EXPECT_EQ(Output("squeue", {"-h", "-t", "pending"}), "");
    }
}

}  // namespace
