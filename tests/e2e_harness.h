// Whole-program harness: zenda-sim and zenda-init as their own processes, a private
// settings store with COM1 on the simulator's line, and line protocols to both.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace e2e {

using Clock = std::chrono::steady_clock;

// scripts/windows.sh runs these same tests against the Windows programs under Wine:
// ZENDA_WINE_INIT and ZENDA_WINE_CLI name the .exe files, ZENDA_WINE_LINE the path that
// Wine's COM1 is mapped to (the simulator's link goes there).
inline std::string FromEnv(const char* name)
{
    const char* v = std::getenv(name);
    return v ? v : "";
}
inline bool UnderWine() { return !FromEnv("ZENDA_WINE_LINE").empty(); }
// The command that starts one of our programs: the Linux build's, or the .exe under Wine.
inline std::vector<std::string> ProgramCommand(const char* linuxPath, const char* wineVar)
{
    const std::string exe = FromEnv(wineVar);
    if (exe.empty())
        return {linuxPath};
    return {"/usr/bin/wine", exe};
}

// In a forked child: becomes the program argv names, or exits with 127.
[[noreturn]] inline void ExecOrExit(const std::vector<std::string>& argv)
{
    std::vector<char*> args;
    for (const auto& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    execv(args[0], args.data());
    _exit(127);
}

// A child process whose standard input and output are pipes to us.
class Proc {
public:
    Proc(const std::vector<std::string>& argv, const std::vector<std::string>& env, const std::string& errFile)
    {
        int in[2], out[2];
        if (pipe(in) != 0 || pipe(out) != 0)
            throw std::runtime_error("pipe");
        pid_ = fork();
        if (pid_ == 0) {
            dup2(in[0], 0);
            dup2(out[1], 1);
            const int err = open(errFile.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
            if (err >= 0)
                dup2(err, 2);
            for (int fd = 3; fd < 256; ++fd)
                close(fd);
            for (const auto& e : env)
                putenv(strdup(e.c_str()));
            ExecOrExit(argv);
        }
        close(in[0]);
        close(out[1]);
        to_ = in[1];
        from_ = out[0];
    }
    ~Proc() { Kill(); }
    Proc(const Proc&) = delete;
    Proc& operator=(const Proc&) = delete;

    void Kill()
    {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            for (int i = 0; i < 100 && waitpid(pid_, nullptr, WNOHANG) == 0; ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
            pid_ = -1;
        }
        if (to_ >= 0)
            close(to_);
        if (from_ >= 0)
            close(from_);
        to_ = from_ = -1;
    }
    void Signal(int sig)
    {
        if (pid_ > 0)
            kill(pid_, sig);
    }
    bool Exited(int waitMs = 0)
    {
        const auto end = Clock::now() + std::chrono::milliseconds(waitMs);
        do {
            if (pid_ > 0 && waitpid(pid_, nullptr, WNOHANG) == pid_) {
                pid_ = -1;
                return true;
            }
            if (pid_ < 0)
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        } while (Clock::now() < end);
        return false;
    }

    // The next protocol line ("@ ..." without the marker); other lines are skipped.
    std::string ReadReply(int timeoutMs)
    {
        const auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            size_t nl;
            while ((nl = buf_.find('\n')) != std::string::npos) {
                std::string line = buf_.substr(0, nl);
                buf_.erase(0, nl + 1);
                if (!line.empty() && line.back() == '\r')  // a Windows program's line end
                    line.pop_back();
                if (line.rfind("@ ", 0) == 0)
                    return line.substr(2);
            }
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count();
            if (left <= 0)
                throw std::runtime_error("no answer within " + std::to_string(timeoutMs) + " ms");
            pollfd p{from_, POLLIN, 0};
            if (poll(&p, 1, static_cast<int>(left)) <= 0)
                continue;
            char b[4096];
            const ssize_t n = read(from_, b, sizeof b);
            if (n <= 0)
                throw std::runtime_error("the program ended");
            buf_.append(b, static_cast<size_t>(n));
        }
    }
    std::string Cmd(const std::string& line, int timeoutMs = 30000)
    {
        const std::string l = line + "\n";
        if (write(to_, l.data(), l.size()) != static_cast<ssize_t>(l.size()))
            throw std::runtime_error("cannot write to the program");
        return ReadReply(timeoutMs);
    }

private:
    pid_t pid_ = -1;
    int to_ = -1, from_ = -1;
    std::string buf_;
};

struct Bench {
    std::filesystem::path dir;
    std::string line, imageFile, logFile, config, data;

    Bench()
    {
        char tmpl[] = "/tmp/zenda-e2e.XXXXXX";
        dir = mkdtemp(tmpl);
        line = UnderWine() ? FromEnv("ZENDA_WINE_LINE") : (dir / "line").string();
        std::filesystem::remove(line);  // a link left by a run that was killed
        imageFile = (dir / "image.hex").string();
        logFile = (dir / "sim.log").string();
        config = (dir / "config").string();
        data = (dir / "data").string();  // backups and the journal, never the user's own
        std::filesystem::create_directories(dir / "config" / "ЛЮМРАД");
        WriteSettings("[Ports]\nCOM1=" + line + "\n");
    }
    ~Bench()
    {
        std::filesystem::remove_all(dir);
        std::filesystem::remove(line);
    }
    void WriteSettings(const std::string& text)
    {
        std::ofstream(dir / "config" / "ЛЮМРАД" / "Инициализация ЗЕНДИН.conf") << text;
    }
    std::string ReadSettings() const
    {
        std::ifstream in(dir / "config" / "ЛЮМРАД" / "Инициализация ЗЕНДИН.conf");
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    std::unique_ptr<Proc> StartSim(std::vector<std::string> extra = {})
    {
        std::vector<std::string> argv = {ZENDA_SIM_PATH, "--link", line,        "--image",  imageFile,
                                         "--log",        logFile,  "--control", "--no-pace"};
        argv.insert(argv.end(), extra.begin(), extra.end());
        auto p = std::make_unique<Proc>(argv, std::vector<std::string>{}, (dir / "sim.err").string());
        for (int i = 0; i < 200 && !std::filesystem::exists(line); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return p;
    }
    // display: an X display to run on (the xcb platform) instead of offscreen.
    std::unique_ptr<Proc> StartApp(const std::string& display = std::string())
    {
        std::vector<std::string> env = {"XDG_CONFIG_HOME=" + config, "XDG_DATA_HOME=" + data};
        // Under Wine: the windows platform, on the X display that Wine was given.
        if (!UnderWine() && display.empty())
            env.push_back("QT_QPA_PLATFORM=offscreen");
        else if (!UnderWine())
            env.insert(env.end(), {"QT_QPA_PLATFORM=xcb", "DISPLAY=" + display});
        auto argv = ProgramCommand(ZENDA_INIT_PATH, "ZENDA_WINE_INIT");
        argv.push_back("--automation");
        return std::make_unique<Proc>(argv, env, (dir / "app.err").string());
    }
    // The traffic the simulator logged: "<-" lines are the tool's bytes.
    std::vector<std::string> Log() const
    {
        std::ifstream in(logFile);
        std::vector<std::string> lines;
        for (std::string l; std::getline(in, l);)
            lines.push_back(l);
        return lines;
    }
};

// Parses "started=N busy=N cursor=X focus=F modalid=N modal=TITLE|TEXT".
struct State {
    int busy = 0;
    int modalId = 0;
    bool wait = false;
    std::string focus, modal;
    static State Parse(const std::string& s)
    {
        State st;
        st.busy = std::atoi(s.substr(s.find("busy=") + 5).c_str());
        st.wait = s.find("cursor=wait") != std::string::npos;
        const auto f = s.find("focus=") + 6;
        st.focus = s.substr(f, s.find(' ', f) - f);
        st.modalId = std::atoi(s.substr(s.find("modalid=") + 8).c_str());
        st.modal = s.substr(s.find(" modal=") + 7);
        return st;
    }
};

}  // namespace e2e
