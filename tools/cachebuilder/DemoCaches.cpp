#include "cachebuilder/DemoCaches.h"

#include <filesystem>

#include "cachebuilder/CacheGenerator.h"
#include "cachebuilder/WinProxyBuilder.h"

namespace loftwick::builder {
namespace {

// URLs that try to leave a save folder or to be run rather than shown; the demo shows they are handled.
void AddHostileObjects(WinProxyCache& cache, int64_t now) {
    struct Hostile {
        const char* url;
        const char* type;
    };
    const Hostile hostile[] = {
        {"http://tricky.example/../../etc/passwd", "text/plain"},
        {"http://tricky.example/a?../../escape=1", "text/html"},
        {"http://tricky.example//double//slashes/page.html", "text/html"},
        {"http://tricky.example/%2e%2e/encoded-dots.html", "text/html"},
        {"file:///etc/hostname", "text/plain"},
        {"http://tricky.example/control\x01\x02name.txt", "text/plain"},
    };
    int n = 0;
    for (const Hostile& h : hostile) {
        WinProxyObject o;
        o.host = "tricky.example";
        o.fileName = "hostile" + std::to_string(n) + "_object";
        o.url = h.url;
        o.Header("Date", HttpDate(now - 3600 * (n + 1))).Header("Content-Type", h.type);
        o.content =
            Content::Bytes("This object's URL is meant to make trouble: " + std::string(h.url) + "\n");
        cache.Add(o);
        ++n;
    }
}

}  // namespace

DemoCaches BuildDemoCaches(const std::string& out, int64_t now) {
    namespace fs = std::filesystem;
    DemoCaches demo;
    const fs::path root(out);
    for (const char* name : {"winproxy", "wingate"}) fs::remove_all(root / name);

    GeneratorOptions proxy;
    proxy.format = CacheFormat::WinProxy;
    proxy.out = (root / "winproxy").string();
    proxy.objects = 600;
    proxy.hosts = 24;
    proxy.seed = 2026;
    proxy.now = now;
    proxy.maxObjectSize = 512 * 1024;
    GenerateCache(proxy);
    WinProxyCache winProxy(proxy.out);
    AddHostileObjects(winProxy, now);
    demo.winProxyDir = winProxy.CacheDir();

    GeneratorOptions gate = proxy;
    gate.format = CacheFormat::WinGate;
    gate.out = (root / "wingate").string();
    gate.objects = 400;
    gate.seed = 2027;
    GenerateCache(gate);
    demo.winGateDir = (root / "wingate").string() + "/";
    return demo;
}

}  // namespace loftwick::builder
