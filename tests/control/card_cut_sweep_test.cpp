// Cards pulled at every moment of every card operation, and the reader's other faults. Each
// operation runs once whole, card content noted before and after each of its calls; then, for
// each cut (long operations sampled: their first and last commands, the rest spread), a copy
// of the card goes through it with the card pulled after that many commands, is inserted
// again, repaired with a second pull spread over the repair, checked and repaired as the card
// window would, and judged whole: it must equal the card before or after one of the calls,
// with every free block erased, and take a new message that reads back. Cuts run in forked
// workers, so that a crash is counted and named instead of ending the sweep.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "card_model.h"
#include "control/errors.h"
#include "control/methods.h"
#include "control/state.h"
#include "emulator_port.h"
#include "sweep_cards.h"

namespace {

namespace fs = std::filesystem;
using namespace control_test;
using namespace control_test::sweep;
using emulator::Fault;
using emulator::LoggedCommand;
using Bytes = std::vector<std::uint8_t>;

// ---- the reader's faults besides the pull, each at one command ----

bool isRead(const LoggedCommand& c) { return (c.command & 0x0F) == 0x02; }
bool isWrite(const LoggedCommand& c) { return (c.command & 0x0F) == 0x03; }

// What the block map of the card the operation starts from says of a block.
bool holdsMessage(const emulator::Card& card, std::uint16_t block) {
    const std::uint8_t entry = card.peek(160 + block, 1)[0];
    return block > 0 && block < 1024 && entry >= 1 && entry <= 24;
}

struct FaultKind {
    std::string name;
    // Arms the fault for the k-th command (its entry in the whole run's log) of an operation
    // on `card`; false when it does not apply there.
    std::function<bool(emulator::Reader&, int k, const LoggedCommand&, const emulator::Card& card)> arm;
    bool staysAfter = false;  // a block that went bad stays bad
};

const std::vector<FaultKind>& faultKinds() {
    static const std::vector<FaultKind> kinds = {
        {"reader unplugged", [](auto& r, int k, const auto&, const auto&) { return r.unplugAfter(k - 1), true; }},
        {"NAK", [](auto& r, int k, const auto&, const auto&) { return r.injectAfter(k - 1, Fault::Nck), true; }},
        {"busy once", [](auto& r, int k, const auto&, const auto&) { return r.injectAfter(k - 1, Fault::Busy), true; }},
        {"busy to the end", [](auto& r, int k, const auto&, const auto&) {
             return r.injectAfter(k - 1, Fault::Busy, 3), true;
         }},
        {"time-out", [](auto& r, int k, const auto& c, const auto&) {
             r.injectAfter(k - 1, isRead(c) ? Fault::SilentData : isWrite(c) ? Fault::SilentAfterData : Fault::Silence);
             return true;
         }},
        {"time-out of the reply", [](auto& r, int k, const auto&, const auto&) {
             return r.injectAfter(k - 1, Fault::Silence), true;
         }},
        {"corrupted reply code", [](auto& r, int k, const auto&, const auto&) {
             return r.injectAfter(k - 1, Fault::CorruptReplyCode), true;
         }},
        // The header, the journal and the typed blocks carry checks; message data carries
        // none on the card, so a bit flipped in it cannot be told from sound.
        {"flipped data bit", [](auto& r, int k, const auto& c, const auto& card) {
             if (!isRead(c) || holdsMessage(card, c.block)) return false;
             r.flipBitAt(static_cast<std::size_t>(k * 37) % 512, static_cast<std::uint8_t>(1u << (k % 8)));
             r.injectAfter(k - 1, Fault::FlipDataBit);
             return true;
         }},
        // A free or message block; the header, journal and typed blocks stay where the map
        // puts them, so one of them that fails for good leaves the card to a new format.
        {"a block that will not erase or program", [](auto& r, int, const auto& c, const auto&) {
             if (c.block <= 5) return false;
             if ((c.command & 0x0F) == 0x01) return r.failErase(c.block), true;
             if (isWrite(c)) return r.refuseDataOn(c.block), true;
             return false;
         }, true},
    };
    return kinds;
}

// ---- scenarios: an operation on a card, as it runs whole ----

struct Scenario {
    std::string row;
    Operation op;
    std::shared_ptr<emulator::Card> start;
    std::vector<CardContent> states;  // the cards between its calls (and others it may end with)
    int result = 0;
    std::string output;
    std::vector<LoggedCommand> log;
};

struct Rig {
    Rig() {
        TestClock::install();
        reader = std::make_shared<emulator::Reader>();
        control::setReaderPort(std::make_unique<EmulatorPort>(reader));
        control::setActionMode(control::ModeStandby);
    }
    ~Rig() { control::setReaderPort(nullptr); }
    void use(std::shared_ptr<emulator::Card> card) {
        reader->clearFaults();
        reader->plugIn();
        reader->insert(std::move(card));
        reader->clearLog();
    }
    std::shared_ptr<emulator::Reader> reader;
};

void addContent(const emulator::Card& card, std::vector<CardContent>& states) {
    std::string fault;
    if (auto c = readContent(card, fault)) states.push_back(*c);
}

// Runs the calls as the card window does: the first that fails ends them.
int runCalls(const Operation& op, const Files& files, const emulator::Card* card = nullptr,
             std::vector<CardContent>* states = nullptr) {
    for (const Call& call : op.calls) {
        const int r = call(files);
        if (states) addContent(*card, *states);
        if (r != 0) return r;
    }
    return 0;
}

Scenario wholeRun(Rig& rig, const Files& files, std::string row, Operation op,
                  const std::shared_ptr<emulator::Card>& inUse) {
    Scenario s;
    s.row = std::move(row);
    s.op = std::move(op);
    s.start = s.op.card ? s.op.card(*rig.reader, files) : inUse;  // never changed: cases work on copies
    if (s.op.accepted)
        for (const auto& c : s.op.accepted(*rig.reader, files)) addContent(*c, s.states);
    auto card = clone(*s.start);
    rig.use(card);
    addContent(*card, s.states);
    s.result = runCalls(s.op, files, card.get(), &s.states);
    s.log = rig.reader->log();
    s.output = outputOf(s.op.output, files);
    return s;
}

std::vector<Scenario> scenarios(Rig& rig, const Files& files) {
    std::vector<Scenario> out;
    for (const CardKind& kind : cardKinds()) {
        for (const Fill& fill : fillsOf(kind)) {
            const auto inUse = cardInUse(kind, fill);
            rig.use(clone(*inUse));
            control::ReadCardInfo();
            const control::CardInfo info = control::cardInfo();
            for (Operation& op : operationsFor(kind, fill, info))
                out.push_back(wholeRun(rig, files, kind.name + ", " + fill.name, std::move(op), inUse));
        }
    }
    return out;
}

// ---- one case: a cut (with a second during the repair) or a fault ----

struct Job {
    int scenario = 0;
    int k = 0;
    int fault = -1;  // -1: a pull
};

enum class Verdict { Whole, Emptied, Mixed, Lost, Crashed, NotApplicable };

struct Outcome {
    Verdict verdict = Verdict::Crashed;
    bool secondCut = false;
    std::string text;
};

// The check the card window runs after an operation, and the repair or format it offers.
int settle(const Scenario& s) {
    int check = control::GetCardError();
    for (int round = 0; round < 3 && check != 0; ++round) {
        if (check == control::cardError::JournalSet) {
            if (const int r = control::Repair(check)) return r;
        } else if (check == control::cardError::Unformatted && s.op.fromBlank) {
            if (const int f = control::Format()) return f;
        } else {
            return check;
        }
        check = control::GetCardError();
    }
    return check;
}

// The card takes a new message and gives it back (on a full card, once the filler is gone).
std::string takesNewMessage(const Files& files) {
    const Bytes data(5000, 0x5A);
    if (!fs::exists(files.dir / "probe.dat")) std::ofstream(files.dir / "probe.dat", std::ios::binary)
        .write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
    int written = control::WriteMessage(12, files.at("probe.dat"));
    int channel = 12;
    // A full card takes it in place of a message of the same size, or once the filler is gone.
    if (written == control::cardError::NoFreeBlock) written = control::WriteMessage(channel = 4, files.at("probe.dat"));
    if (written == control::cardError::NoFreeBlock && control::WriteMessage(9, "") == 0)
        written = control::WriteMessage(channel = 12, files.at("probe.dat"));
    if (written != 0) return "a new message was refused: " + std::to_string(written);
    if (const int r = control::ReadMessage(channel, files.at("back.dat"))) return "a new message reads " + std::to_string(r);
    std::ifstream in(files.dir / "back.dat", std::ios::binary);
    const Bytes back{std::istreambuf_iterator<char>(in), {}};
    if (back.size() < data.size() || !std::equal(data.begin(), data.end(), back.begin()))
        return "a new message reads back wrong";
    return {};
}

// The card equals a state but for the channel a write without room for old and new had to
// empty first: it is empty, or (114) holds what was written before the blocks ran out.
bool emptiedFrom(const CardContent& now, const Scenario& s, int result) {
    if (s.op.mayEmpty == 0) return false;
    const auto ch = static_cast<std::size_t>(s.op.mayEmpty);
    if (now.channels[ch] != ChannelContent{} && result != control::cardError::NoFreeWhileWriting) return false;
    for (CardContent state : s.states) {
        state.channels[ch] = now.channels[ch];
        if (state == now) return true;
    }
    return false;
}

Outcome judge(const Scenario& s, const emulator::Card& card, int result, const std::string& output,
              const Files& files) {
    if (s.op.output != Output::None && result == 0 && output != s.output) return {Verdict::Lost, false, "a read gave 0 with wrong data"};
    if (const int check = settle(s)) return {Verdict::Lost, false, "the card checks " + std::to_string(check)};
    std::string fault;
    const auto now = readContent(card, fault);
    if (!now) return {Verdict::Lost, false, fault};
    if (result == 0 && s.op.output == Output::None && !s.states.empty() && !(*now == s.states.back()))
        return {Verdict::Lost, false, "0 was returned, but the card is not the new one: " + now->firstDifference(s.states.back())};
    Verdict v = Verdict::Lost;
    if (std::find(s.states.begin(), s.states.end(), *now) != s.states.end()) v = Verdict::Whole;
    else if (emptiedFrom(*now, s, result)) v = Verdict::Emptied;
    std::string text;
    if (v == Verdict::Lost) {
        const auto lost = now->inNone(s.states);
        v = lost.empty() ? Verdict::Mixed : Verdict::Lost;
        text = v == Verdict::Mixed ? "items of different cards" : "lost: " + lost.front();
    }
    if (const std::string probe = takesNewMessage(files); !probe.empty()) return {Verdict::Lost, false, probe};
    return {v, false, text};
}

// The cards a worker works on, kept from one case to the next of the same scenario: a case
// brings them back to its start by the blocks that differ, which costs far less than a copy.
struct Workspace {
    int scenario = -1;
    std::shared_ptr<emulator::Card> card, shadow;

    std::shared_ptr<emulator::Card> start(const Scenario& s, int index) {
        if (index != scenario) {
            scenario = index;
            card = clone(*s.start);
            shadow = clone(*s.start);
        } else {
            copyInto(*s.start, *card);
        }
        return card;
    }
};

// A second pull during the repair the first one asks for, spread over the repair's commands.
bool cutTheRepair(emulator::Reader& reader, const std::shared_ptr<emulator::Card>& card, Workspace& w, int k) {
    if (control::GetCardError() != control::cardError::JournalSet) return false;
    copyInto(*card, *w.shadow);
    reader.insert(w.shadow);
    reader.clearLog();
    control::Repair(control::cardError::JournalSet);
    const auto commands = static_cast<int>(reader.log().size());
    reader.insert(card);
    if (commands == 0) return false;
    reader.pullCardAfter(1 + (k * 7 + 3) % commands);
    control::Repair(control::cardError::JournalSet);
    reader.insert(card);
    reader.clearFaults();
    return true;
}

Outcome runJob(Rig& rig, const Scenario& s, const Job& job, const Files& files, Workspace& w) {
    auto card = w.start(s, job.scenario);
    rig.use(card);
    const FaultKind* fault = job.fault < 0 ? nullptr : &faultKinds()[static_cast<std::size_t>(job.fault)];
    if (!fault)
        rig.reader->pullCardAfter(job.k);
    else if (!fault->arm(*rig.reader, job.k, s.log[static_cast<std::size_t>(job.k - 1)], *s.start))
        return {Verdict::NotApplicable, false, {}};
    const int result = runCalls(s.op, files);
    const std::string output = outputOf(s.op.output, files);
    rig.reader->plugIn();
    if (!fault || !fault->staysAfter) rig.reader->clearFaults();
    rig.reader->insert(card);
    const bool second = !fault && cutTheRepair(*rig.reader, card, w, job.k);
    Outcome o = judge(s, *card, result, output, files);
    o.secondCut = second;
    return o;
}

// ---- workers ----

// The cuts of a whole run of n commands: all of them up to `budget`, else the first and last
// quarter of the budget and the rest spread evenly between.
std::vector<int> sample(int n, int budget) {
    std::vector<int> ks;
    if (n <= budget) {
        for (int k = 1; k <= n; ++k) ks.push_back(k);
        return ks;
    }
    const int edge = budget / 4, middle = budget - 2 * edge;
    for (int k = 1; k <= edge; ++k) ks.push_back(k);
    for (int i = 1; i <= middle; ++i) ks.push_back(edge + (n - 2 * edge) * i / (middle + 1));
    for (int k = n - edge + 1; k <= n; ++k) ks.push_back(k);
    ks.erase(std::unique(ks.begin(), ks.end()), ks.end());
    return ks;
}

struct Worker {
    pid_t pid = -1;
    int fd = -1;
};

Worker startWorker(const std::vector<Scenario>& all, const std::vector<Job>& jobs, const std::vector<std::size_t>& mine,
                   const fs::path& dir) {
    int fds[2];
    if (::pipe(fds) != 0) return {};
    std::fflush(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(fds[0]);
        const Files files{dir / std::to_string(::getpid())};
        makeFiles(files);
        Rig rig;
        Workspace w;
        for (std::size_t j : mine) {
            const Job& job = jobs[j];
            const Outcome o = runJob(rig, all[static_cast<std::size_t>(job.scenario)], job, files, w);
            const std::string line = std::to_string(j) + " " + std::to_string(static_cast<int>(o.verdict)) + " " +
                                     (o.secondCut ? "1" : "0") + " " + o.text + "\n";
            if (::write(fds[1], line.data(), line.size()) != static_cast<ssize_t>(line.size())) ::_exit(4);
        }
        ::_exit(0);
    }
    ::close(fds[1]);
    return {pid, fds[0]};
}

// Reads a worker's lines; a job it did not report ended the child: a crash.
void finishWorker(Worker w, std::vector<std::size_t>& left, std::map<std::size_t, Outcome>& results, std::string& death) {
    std::string text;
    char buf[4096];
    for (ssize_t n; (n = ::read(w.fd, buf, sizeof buf)) > 0;) text.append(buf, static_cast<std::size_t>(n));
    ::close(w.fd);
    int status = 0;
    ::waitpid(w.pid, &status, 0);
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        std::istringstream in(line);
        std::size_t j = 0;
        int verdict = 0, second = 0;
        in >> j >> verdict >> second;
        std::string rest;
        std::getline(in, rest);
        results[j] = {static_cast<Verdict>(verdict), second != 0, rest};
        left.erase(std::find(left.begin(), left.end(), j));
    }
    death.clear();
    if (WIFSIGNALED(status)) death = "signal " + std::to_string(WTERMSIG(status));
    else if (WIFEXITED(status) && WEXITSTATUS(status) != 0) death = "exit " + std::to_string(WEXITSTATUS(status));
}

std::map<std::size_t, Outcome> runAll(const std::vector<Scenario>& all, const std::vector<Job>& jobs, const fs::path& dir) {
    constexpr std::size_t kWorkers = 3;
    std::vector<std::vector<std::size_t>> share(kWorkers);
    for (std::size_t j = 0; j < jobs.size(); ++j) share[j % kWorkers].push_back(j);
    std::vector<Worker> workers;
    for (const auto& mine : share) workers.push_back(startWorker(all, jobs, mine, dir));
    std::map<std::size_t, Outcome> results;
    for (std::size_t w = 0; w < kWorkers; ++w) {
        std::vector<std::size_t>& left = share[w];
        for (Worker worker = workers[w];;) {
            std::string death;
            finishWorker(worker, left, results, death);
            if (left.empty()) break;
            results[left.front()] = {Verdict::Crashed, false, death.empty() ? "no report" : death};
            left.erase(left.begin());
            if (left.empty()) break;
            worker = startWorker(all, jobs, left, dir);
        }
    }
    return results;
}

// ---- the tables ----

struct Row {
    int cases = 0, second = 0, whole = 0, emptied = 0, mixed = 0, lost = 0, crashed = 0;
    void add(const Outcome& o) {
        ++cases;
        second += o.secondCut;
        whole += o.verdict == Verdict::Whole;
        emptied += o.verdict == Verdict::Emptied;
        mixed += o.verdict == Verdict::Mixed;
        lost += o.verdict == Verdict::Lost;
        crashed += o.verdict == Verdict::Crashed;
    }
};

void print(const char* title, const std::vector<std::string>& order, std::map<std::string, Row>& rows) {
    std::printf("\n| %s | cases | second cuts | whole card old or new | channel emptied or cut short (no room for both) | "
                "items mixed | data lost | crashed |\n|---|---|---|---|---|---|---|---|\n", title);
    Row total;
    for (const auto& name : order) {
        const Row& r = rows[name];
        std::printf("| %s | %d | %d | %d | %d | %d | %d | %d |\n", name.c_str(), r.cases, r.second, r.whole,
                    r.emptied, r.mixed, r.lost, r.crashed);
        total.cases += r.cases, total.second += r.second, total.whole += r.whole, total.emptied += r.emptied;
        total.mixed += r.mixed, total.lost += r.lost, total.crashed += r.crashed;
    }
    std::printf("| total | %d | %d | %d | %d | %d | %d | %d |\n", total.cases, total.second, total.whole,
                total.emptied, total.mixed, total.lost, total.crashed);
}

// Cuts of long operations on large cards are sampled harder: they repeat the same steps.
int budgetFor(const Scenario& s) {
    const bool small = s.row.rfind("4 KiB", 0) == 0;
    const bool full = s.row.find("full") != std::string::npos;
    return small ? (full ? 16 : 48) : (full ? 8 : 24);
}

// Faults run on a few cards and operations; each at six commands of the operation.
bool faultsRunOn(const Scenario& s) {
    static const std::vector<std::string> rows = {"4 KiB blocks, room to spare", "4 KiB blocks, full, 0 free",
                                                  "8 KiB blocks, full, 1 free", "16 KiB blocks, room to spare"};
    static const std::vector<std::string> ops = {"WriteCardData", "WriteCardName", "ReplaceMessage",
                                                 "WriteMessage .WAV over a recorded channel", "Format",
                                                 "ReadCardData", "ReadCardInfo", "ReadMessage .WAV",
                                                 "message-set restore", "WriteCardFile",
                                                 "Repair(610): a message write cut in block 0"};
    return std::find(rows.begin(), rows.end(), s.row) != rows.end() &&
           std::find(ops.begin(), ops.end(), s.op.name) != ops.end();
}

TEST(CardCutSweep, EveryCardComesThroughEveryCutAndFaultWhole) {
    const fs::path dir = fs::temp_directory_path() / ("kv_cut_sweep_" + std::to_string(::getpid()));
    const Files files{dir / "whole"};
    makeFiles(files);
    std::vector<Scenario> all;
    {
        Rig rig;
        all = scenarios(rig, files);
    }
    std::vector<Job> jobs;
    for (std::size_t i = 0; i < all.size(); ++i) {
        const Scenario& s = all[i];
        const bool full = s.row.find("full") != std::string::npos;
        ASSERT_TRUE(s.result == 0 || (full && s.result == control::cardError::NoFreeBlock))
            << s.row << " / " << s.op.name << " fails whole: " << s.result;
        ASSERT_FALSE(s.states.empty()) << s.row << " / " << s.op.name << " leaves no whole card";
        const int n = static_cast<int>(s.log.size());
        for (int k : sample(n, budgetFor(s))) jobs.push_back({static_cast<int>(i), k, -1});
        if (faultsRunOn(s))
            for (int k : sample(n, 6))
                for (std::size_t f = 0; f < faultKinds().size(); ++f)
                    jobs.push_back({static_cast<int>(i), k, static_cast<int>(f)});
    }
    const auto results = runAll(all, jobs, dir);
    fs::remove_all(dir);

    std::map<std::string, Row> cuts, faults;
    std::vector<std::string> cutOrder, faultOrder;
    int shownCuts = 0, shownFaults = 0;
    for (const auto& [j, o] : results) {
        if (o.verdict == Verdict::NotApplicable) continue;
        const Job& job = jobs[j];
        const Scenario& s = all[static_cast<std::size_t>(job.scenario)];
        const std::string row = job.fault < 0 ? s.row : faultKinds()[static_cast<std::size_t>(job.fault)].name;
        auto& order = job.fault < 0 ? cutOrder : faultOrder;
        if (std::find(order.begin(), order.end(), row) == order.end()) order.push_back(row);
        (job.fault < 0 ? cuts : faults)[row].add(o);
        if (o.verdict != Verdict::Whole && o.verdict != Verdict::Emptied && (job.fault < 0 ? shownCuts : shownFaults)++ < 10)
            ADD_FAILURE() << s.row << " / " << s.op.name << (job.fault < 0 ? ", pulled" : ", " + row)
                          << " at command " << job.k << " of " << s.log.size() << ": "
                          << (o.verdict == Verdict::Crashed ? "crashed, " : o.verdict == Verdict::Mixed ? "mixed, " : "")
                          << o.text;
    }
    print("card, pulled at a command", cutOrder, cuts);
    print("fault at a command", faultOrder, faults);
}

}  // namespace
