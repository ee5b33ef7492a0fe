#include "SoundServer.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <numbers>
#include <string_view>

extern char** environ;

namespace palaverly::test {

bool soundServerAvailable()
{
    return std::getenv("PALAVERLY_TEST_SERVICES") && std::getenv("PULSE_SERVER") && pactl("info");
}

namespace {

bool controlSoundServer(const char* action)
{
    const char* script = std::getenv("PALAVERLY_SERVICES_SCRIPT");
    if (!script)
        return false;
    return std::system(("'" + std::string(script) + "' --sound-server-control " + action).c_str()) == 0;
}

} // namespace

SoundServerOutage::SoundServerOutage()
    : m_killed(controlSoundServer("kill"))
{
}

SoundServerOutage::~SoundServerOutage()
{
    restart();
}

bool SoundServerOutage::restart()
{
    if (m_killed && controlSoundServer("start"))
        m_killed = false;
    return !m_killed;
}

ExtraSinks::~ExtraSinks()
{
    for (const auto& [name, module] : m_modules)
        pactl("unload-module " + module);
    pactl(std::string("set-default-sink ") + kSpeakersSink);
    pactl(std::string("set-default-source ") + kMicSink + ".monitor");
}

bool ExtraSinks::load(const std::string& name, int rate, int channels)
{
    return loadModule(name,
        "module-null-sink sink_name=" + name + " rate=" + std::to_string(rate)
            + " channels=" + std::to_string(channels));
}

bool ExtraSinks::loadModule(const std::string& name, const std::string& arguments)
{
    const auto index = pactl("load-module " + arguments);
    if (!index)
        return false;
    m_modules.emplace_back(name, index->substr(0, index->find('\n')));
    return true;
}

bool ExtraSinks::unload(const std::string& name)
{
    const auto it = std::find_if(m_modules.begin(), m_modules.end(), [&](const auto& m) { return m.first == name; });
    if (it == m_modules.end() || !pactl("unload-module " + it->second))
        return false;
    m_modules.erase(it);
    return true;
}

std::optional<std::string> pactl(const std::string& arguments)
{
    FILE* pipe = ::popen(("pactl " + arguments + " 2>/dev/null").c_str(), "r");
    if (!pipe)
        return std::nullopt;
    std::string out;
    std::array<char, 4096> chunk{};
    size_t n = 0;
    while ((n = std::fread(chunk.data(), 1, chunk.size(), pipe)) > 0)
        out.append(chunk.data(), n);
    return ::pclose(pipe) == 0 ? std::optional(out) : std::nullopt;
}

TonePlayer::TonePlayer(const std::string& sink, double frequency, double amplitude, double seconds)
{
    char name[] = "/tmp/palaverly-tone-XXXXXX";
    const int fd = ::mkstemp(name);
    if (fd < 0)
        return;
    ::close(fd);
    m_file = name;
    {
        std::ofstream out(m_file, std::ios::binary);
        const auto frames = static_cast<size_t>(48000 * seconds);
        std::vector<float> samples(frames);
        for (size_t i = 0; i < frames; ++i)
            samples[i] = static_cast<float>(amplitude * std::sin(2 * std::numbers::pi * frequency * i / 48000.0));
        out.write(reinterpret_cast<const char*>(samples.data()), static_cast<std::streamsize>(frames * sizeof(float)));
    }
    std::vector<std::string> args = {"pacat", "--playback", "--raw", "--format=float32le", "--rate=48000",
        "--channels=1", "--latency-msec=200", "-d", sink, m_file.string()};
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    if (posix_spawnp(&m_pid, "pacat", &actions, nullptr, argv.data(), environ) != 0)
        m_pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    // The tone is in the sink once the player's stream is there and its queue has filled.
    const std::string process = "application.process.id = \"" + std::to_string(m_pid) + "\"";
    for (int i = 0; m_pid > 0 && i < 150; ++i) {
        if (pactl("list sink-inputs").value_or("").find(process) != std::string::npos) {
            ::usleep(250000);
            break;
        }
        ::usleep(20000);
    }
}

TonePlayer::~TonePlayer()
{
    if (m_pid > 0) {
        ::kill(m_pid, SIGTERM);
        ::waitpid(m_pid, nullptr, 0);
    }
    if (!m_file.empty())
        std::filesystem::remove(m_file);
}

PrivateSoundServer::PrivateSoundServer(const std::vector<std::string>& modules)
{
    char name[] = "/tmp/palaverly-pulse-XXXXXX";
    if (!::mkdtemp(name))
        return;
    m_folder = name;
    std::vector<std::string> args = {"pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1", "--disallow-exit",
        "--use-pid-file=no", "--log-target=file:" + (m_folder / "pulse.log").string(), "-L",
        "module-native-protocol-unix socket=" + (m_folder / "native").string() + " auth-anonymous=1"};
    for (const auto& module : modules) {
        args.push_back("-L");
        args.push_back(module);
    }
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    // As root the daemon wants a home and runtime folder of its own. Without a display and a
    // session bus it does not meet the shared daemon's bus name.
    const std::string home = "HOME=" + m_folder.string();
    const std::string runtime = "XDG_RUNTIME_DIR=" + m_folder.string();
    const auto inherited = [](std::string_view variable) {
        for (const std::string_view dropped :
            {"HOME=", "XDG_RUNTIME_DIR=", "DISPLAY=", "DBUS_SESSION_BUS_ADDRESS=", "PULSE_SERVER="})
            if (variable.starts_with(dropped))
                return false;
        return true;
    };
    std::vector<char*> env;
    for (char** e = environ; *e; ++e)
        if (inherited(*e))
            env.push_back(*e);
    env.push_back(const_cast<char*>(home.c_str()));
    env.push_back(const_cast<char*>(runtime.c_str()));
    env.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    if (posix_spawnp(&m_pid, "pulseaudio", &actions, nullptr, argv.data(), env.data()) != 0)
        m_pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    for (int i = 0; m_pid > 0 && i < 150 && !m_started; ++i) {
        m_started = pactl("-s " + address() + " info").has_value();
        if (!m_started)
            ::usleep(20000);
    }
}

void PrivateSoundServer::terminate()
{
    if (m_pid > 0) {
        ::kill(m_pid, SIGKILL);
        ::waitpid(m_pid, nullptr, 0);
        m_pid = -1;
    }
}

void PrivateSoundServer::suspend()
{
    if (m_pid > 0)
        ::kill(m_pid, SIGSTOP);
}

void PrivateSoundServer::resume()
{
    if (m_pid > 0)
        ::kill(m_pid, SIGCONT);
}

PrivateSoundServer::~PrivateSoundServer()
{
    terminate();
    if (!m_folder.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(m_folder, ignored);
    }
}

ScopedEnvironment::ScopedEnvironment(std::string name, const std::string& value)
    : m_name(std::move(name))
{
    if (const char* previous = std::getenv(m_name.c_str()))
        m_previous = previous;
    ::setenv(m_name.c_str(), value.c_str(), 1);
}

ScopedEnvironment::~ScopedEnvironment()
{
    if (m_previous)
        ::setenv(m_name.c_str(), m_previous->c_str(), 1);
    else
        ::unsetenv(m_name.c_str());
}

double toneShare(std::span<const float> samples, double sampleRate, double frequency)
{
    if (samples.empty())
        return 0;
    const double w = 2 * std::numbers::pi * frequency / sampleRate;
    const double coefficient = 2 * std::cos(w);
    double s1 = 0, s2 = 0, total = 0;
    for (const float x : samples) {
        const double s0 = x + coefficient * s1 - s2;
        s2 = s1;
        s1 = s0;
        total += static_cast<double>(x) * x;
    }
    const double power = s1 * s1 + s2 * s2 - coefficient * s1 * s2; // |X(f)|^2
    // A pure tone of amplitude A over N samples gives |X|^2 = (A N / 2)^2 and a total of N A^2 / 2.
    return total > 0 ? 2 * power / (static_cast<double>(samples.size()) * total) : 0;
}

} // namespace palaverly::test
