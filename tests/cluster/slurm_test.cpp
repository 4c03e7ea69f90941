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

// The script ranks two videos in four stretches each on the cluster, and the merged ranking is
// byte for byte what one orvexa-batch prints for both; a video no task can rank makes --wait
// fail, and no job is left waiting.
TEST(SlurmCluster, MergedRankingIsWhatOneProcessPrints) {
    if (geteuid() != 0) GTEST_SKIP() << "starting the Slurm and munge daemons needs root";
    for (const char* program : {"munged", "slurmctld", "slurmd", "sbatch", "sinfo", "squeue", "scontrol", "scancel"}) {
        if (Which(program).empty())
            GTEST_SKIP() << program << " is missing: scripts/install-deps.sh all installs slurm-wlm and munge";
    }
    fixture::TempDir dir;
    const std::string root = dir.File("cluster") + "/";
    std::filesystem::create_directory(root);
    for (const char* sub : {"munge", "state", "spool", "out"}) std::filesystem::create_directory(root + sub);
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
    fixture::VideoOptions video;
    video.frames = 300;
    video.codec = fixture::Codec::H264;
    video.container = "mp4";
    ASSERT_TRUE(fixture::WriteVideo(first.toStdString(), video));
    video.frames = 240;
    video.codec = fixture::Codec::Mpeg4BFrames;
    video.container = "avi";
    ASSERT_TRUE(fixture::WriteVideo(second.toStdString(), video));

    setenv("ORVEXA_BATCH", ORVEXA_BATCH_PATH, 1);
    const QString script = QStringLiteral(ORVEXA_TEST_DIR "/../../scripts/cluster/slurm-rank.sh");
    const QString out = QString::fromStdString(root + "out");
    const auto submitted = RunWithoutDisplay(script, {first, second, "--segments", "4", "--out", out, "--wait"});
    ASSERT_EQ(submitted.exitCode, 0) << submitted.out.toStdString() << submitted.err.toStdString();
    EXPECT_EQ(QDir(out + "/parts").entryList(QDir::Files).size(), 8);
    const auto alone = RunWithoutDisplay(ORVEXA_BATCH_PATH, {"rank", first, second, "--json"});
    ASSERT_EQ(alone.exitCode, 0);
    QFile ranking(out + "/ranking.json");
    ASSERT_TRUE(ranking.open(QIODevice::ReadOnly));
    EXPECT_EQ(ranking.readAll(), alone.out.toUtf8());

    const QString notVideo = QString::fromStdString(root + "not-a-video.mp4");
    WriteFile(notVideo.toStdString(), "not a video");
    const auto failed = RunWithoutDisplay(script, {first, notVideo, "--segments", "2", "--out", out, "--wait"});
    EXPECT_EQ(failed.exitCode, 1) << failed.err.toStdString();
    EXPECT_TRUE(failed.err.contains(QRegularExpression("not-a-video.mp4, stretch ./2\\) failed")))
        << failed.err.toStdString();
    EXPECT_FALSE(QFile::exists(out + "/ranking.json"));
    EXPECT_EQ(Output("squeue", {"-h", "-t", "pending"}), "");
}

}  // namespace
