// Measures $NAME$ expansion on parameter-like texts (against a plain copy and a literal
// replace-in-place expansion as peers) and the compile pass on scripts of 10k, 100k and 1M
// statements, printing the time per statement per size (against a minimal hashing pass).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <unordered_set>
#include <vector>

#include "script/compiler.h"
#include "script/variables.h"

using namespace velmora;
using Clock = std::chrono::steady_clock;

namespace {

volatile std::size_t sink = 0;

template <class F>
double bestSeconds(int repeats, F&& run) {
    double best = 1e30;
    for (int r = 0; r < repeats; ++r) {
        const auto start = Clock::now();
        run();
        best = std::min(best, std::chrono::duration<double>(Clock::now() - start).count());
    }
    return best;
}

// The substitution written the obvious way: replace inside one string and scan again.
std::string literalExpand(const TVariableManager& store, std::string text) {
    std::size_t p = 0;
    for (;;) {
        p = text.find('$', p);
        if (p == std::string::npos) return text;
        const std::size_t close = text.find('$', p + 1);
        const std::string token = close == std::string::npos ? std::string() : text.substr(p + 1, close - p - 1);
        if (!token.empty() && store.HasVariable(token))
            text.replace(p, token.size() + 2, store.FetchValue(token));
        else
            p += token.size() + 1;
    }
}

void benchExpansion() {
    TVariableManager store;
    const char* names[] = {"TARGETDIR", "TITLE", "COMPANY", "VERSION", "PROGRESS", "PROGRESSTEXT", "SUPPORTDIR",
                           "TEMPDIR", "EXEDIR", "LANGUAGE", "NEWLINE", "STARTMENU"};
    for (const char* n : names) store.StoreValue(n, std::string("value of ") + n);
    store.StoreValue("TARGETDIR", "C:\\Program Files\\Ostrand Sample\\");
    store.StoreValue("INSTALLLINE", "$TARGETDIR$bin\\$TITLE$.exe");
    for (int i = 0; i < 60; ++i) store.StoreValue("USERVAR" + std::to_string(i), std::to_string(i));

    struct Set { const char* label; std::vector<std::string> texts; };
    const Set sets[] = {
        {"no references", {"C:\\Program Files\\Common Files\\setup.ini", "Installing the product files", "HKLM",
                           "SOFTWARE\\Ostrand\\Sample\\Settings", "TRUE", "0", "Welcome to the setup wizard."}},
        {"with references", {"$TARGETDIR$bin\\app.exe", "$TITLE$ $VERSION$", "$PROGRESSTEXT$ ($PROGRESS$%)",
                             "Price: 5$ for $NOPE$", "$INSTALLLINE$", "$SUPPORTDIR$setup.msi", "$targetdir$"}},
    };
    std::printf("ExpandText on parameter-like texts\n");
    std::printf("  %-16s %12s %12s %12s %14s %14s\n", "texts", "MB/s", "calls/s", "copy MB/s", "literal MB/s",
                "vs literal");
    for (const auto& set : sets) {
        std::size_t bytes = 0;
        for (const auto& t : set.texts) bytes += t.size();
        const int rounds = 200000;
        const double t = bestSeconds(3, [&] {
            for (int r = 0; r < rounds; ++r)
                for (const auto& text : set.texts) sink = sink + store.ExpandText(text).size();
        });
        const double copy = bestSeconds(3, [&] {
            for (int r = 0; r < rounds; ++r)
                for (const auto& text : set.texts) sink = sink + std::string(text).size();
        });
        const double literal = bestSeconds(3, [&] {
            for (int r = 0; r < rounds; ++r)
                for (const auto& text : set.texts) sink = sink + literalExpand(store, text).size();
        });
        const double mb = double(bytes) * rounds / 1e6;
        std::printf("  %-16s %12.1f %12.0f %12.1f %14.1f %13.2fx\n", set.label, mb / t,
                    double(set.texts.size()) * rounds / t, mb / copy, mb / literal, literal / t);
    }

    // A long text with many references: the literal peer moves the tail on every substitution.
    std::string longText;
    for (int i = 0; i < 20000; ++i) longText += "line $TARGETDIR$ $USERVAR" + std::to_string(i % 60) + "$\r\n";
    const double t = bestSeconds(3, [&] { sink = sink + store.ExpandText(longText).size(); });
    const double literal = bestSeconds(1, [&] { sink = sink + literalExpand(store, longText).size(); });
    std::printf("  %-16s %12.1f %12s %12s %14.1f %13.2fx\n", "long, 40k refs", longText.size() / 1e6 / t, "-", "-",
                longText.size() / 1e6 / literal, literal / t);
}

struct Script {
    TextList names, flags;
    std::vector<std::vector<std::string>> params;
    void add(const char* name, std::vector<std::string> p, const char* flag = "") {
        names.add(name);
        flags.add(flag);
        params.push_back(std::move(p));
    }
};

// A mix of the statements real scripts hold, repeated with fresh names.
Script makeScript(std::size_t statements) {
    Script s;
    for (std::size_t n = 0; s.names.size() < statements; ++n) {
        const std::string id = std::to_string(n);
        s.add("Label", {"Step" + id});
        s.add("Set Variable", {"VAR" + id, "$TARGETDIR$" + id});
        s.add("If", {"$VAR" + id + "$", "0", "$TITLE$"});
        s.add("Write Registry", {"HKLM", "SOFTWARE\\Sample", "Key" + id, "$VAR" + id + "$"});
        s.add("End", {});
        s.add("Evaluate Expression", {"$VAR" + id + "$ = \"x\" and $TITLE$ <> \"\"", "RES" + id});
        s.add("Comment", {"step " + id}, "C");
        s.add("Wizard Loop", {});
        s.add("Display Dialog", {"page" + id, "BUTTON" + id});
        s.add("End", {});
        s.add("GoTo Label", {"step" + id});
        s.add("Install Files", {"Main", "", "$TARGETDIR$"});
    }
    return s; // whole blocks only, so blocks balance: the size is rounded up to a block
}

// Peer: a minimal pass that reads two parameters of each statement through the same reader,
// hashes one name per statement and appends one state. Its time per statement grows with size
// only because its tables outgrow the caches, which shows how much of the pass's growth is the
// machine's rather than the algorithm's.
std::size_t minimalPass(const TextList& names, const StatementParameterReader& reader) {
    std::unordered_set<std::string> seen;
    TextList states;
    for (std::size_t i = 0; i < names.size(); ++i) {
        std::string first = reader(i, 1);
        sink = sink + reader(i, 2).size();
        seen.insert(std::move(first));
        states.add("SKIP");
    }
    return seen.size() + states.size();
}

void benchCompile() {
    std::printf("\nCompileScript (declarations, labels, expressions, wizard loops)\n");
    std::printf("  %12s %10s %14s %10s %16s %10s %12s\n", "statements", "ms", "ns/statement", "vs 10k",
                "peer ns/stmt", "vs 10k", "pass/peer");
    double base = 0, peerBase = 0;
    for (std::size_t size : {std::size_t{10000}, std::size_t{100000}, std::size_t{1000000}}) {
        const Script script = makeScript(size);
        const StatementParameterReader reader = [&](std::size_t i, std::size_t k) {
            const auto& p = script.params[i];
            return k >= 1 && k <= p.size() ? p[k - 1] : std::string();
        };
        const int repeats = size > 100000 ? 3 : 7;
        // Each run's result is kept until after the clock stops, so freeing it is not timed.
        std::vector<CompileResult> results;
        results.reserve(repeats);
        const double t = bestSeconds(repeats, [&] { results.push_back(CompileScript(script.names, script.flags, reader)); });
        const CompileResult& result = results.front();
        if (!result.accepted()) std::printf("  unexpected: %s at %lld\n", result.message.c_str(), (long long)result.index);
        const double peer = bestSeconds(repeats, [&] { sink = sink + minimalPass(script.names, reader); });

        const double n = double(script.names.size());
        const double perStatement = t * 1e9 / n, peerPerStatement = peer * 1e9 / n;
        if (base == 0) base = perStatement, peerBase = peerPerStatement;
        std::printf("  %12zu %10.1f %14.1f %9.2fx %16.1f %9.2fx %11.2fx\n", script.names.size(), t * 1e3, perStatement,
                    perStatement / base, peerPerStatement, peerPerStatement / peerBase, perStatement / peerPerStatement);
    }
}

} // namespace

int main() {
    benchExpansion();
    benchCompile();
    return 0;
}
