#include "cli/help.h"

#include "cli/arguments.h"

namespace orbenix::cli {

std::string VersionText() {
    return "orbenix-check version " + std::to_string(ORBENIX_VERSION_MAJOR) + "." +
           std::to_string(ORBENIX_VERSION_MINOR) + " build " + std::to_string(ORBENIX_VERSION_REVISION) + "\n";
}

std::string HelpText() {
    return VersionText() + R"HELP(Asks a SolusVM panel's client API for the status of one virtual server.

)HELP" + kUsage + R"HELP(

Configuration (one of these; never put keys on the command line):
  --parameter-file FILE|-   the stored parameter string, from a file or standard input
  ORBENIX_PARAMETER         environment variable holding the parameter string
  --url URL                 the panel's address, e.g. https://panel.example.com:5656
    --key-file FILE|-       file holding the server's API key
    --hash-file FILE|-      file holding the server's API hash
    --proxy TYPE://HOST:PORT  TYPE is web, relay, socks4, socks4a or socks5
    --proxy-user NAME       proxy user name
    --proxy-password-file FILE|-  file holding the proxy password
  --parameter TEXT          the parameter string itself (visible to other users)
  --key KEY, --hash HASH    for testing only: visible to other users

Options:
  -t, --timeout SECONDS     time limit, 1 to 86400 (default 30); also passed on as the host's timeout
  --timeout-state STATE     state for a timed-out check: OK, WARNING, CRITICAL or UNKNOWN (default)
  --verify-tls              refuse a panel certificate that the system's trust store does not verify
  --ca-file FILE            trust this CA certificate file (PEM) too; implies --verify-tls
  --hostname NAME           passed on as the host's host name
  --print-parameter         print the parameter string that --url and its options build, and exit
  --json                    print {"verdict": ..., "result": ...} instead of the plugin line;
                            -t then passes any number on as the host's timeout (out of 1..86400: limit 30)
  --usage                   also report bandwidth, disk and memory use (performance data only)
  --bw-warning RANGE, --bw-critical RANGE     thresholds on the percent of the month's bandwidth used
  --hdd-warning RANGE, --hdd-critical RANGE   ... of the disk used
  --mem-warning RANGE, --mem-critical RANGE   ... of the memory used
                            RANGE: 80 alerts above 80, 10: below 10, ~:90 above 90,
                            10:20 outside 10..20, @10:20 inside 10..20; decimals allowed
  -v, --verbose             write the check's debug lines to standard error
  -h, --help                this text
  -V, --version             the version

Output: SOLUSVM <STATE> - <result> | time=<seconds>s;;;0
  with usage values also bw_used=<bytes>B;;;0;<total> bw_pct=<percent>%;<warn>;<crit>;0;100
  (the same for hdd_ and mem_); the percent is used/total to two decimals
  0 OK        the server is online ("SolusVM VPS works fine")
  1 WARNING   online, but a usage value crosses its warning threshold
  2 CRITICAL  "VPS offline", or another state the panel names ("Unknown VPS state ( disabled)"),
              or online with a usage value across its critical threshold
  3 UNKNOWN   no verdict: bad arguments, "ERR:" and "ERROR:" texts, the panel's own message,
              an unrecognised answer, a usage value a threshold needs but the panel left out
              or garbled; also a timeout unless --timeout-state says otherwise

Examples:
  orbenix-check --parameter-file /etc/orbenix/vps1.parameter
  orbenix-check --url https://panel.example.com:5656 --key-file vps1.key --hash-file vps1.hash
  printf '%s' "$KEY" | orbenix-check --url https://panel.example.com --key-file - --hash-file h
  Through a proxy, add one of these to the --url options:
    --proxy web://proxy.example.com:3128     HTTP CONNECT
    --proxy relay://proxy.example.com:3128   HTTP proxy that forwards the request
    --proxy socks4://10.0.0.1:1080
    --proxy socks4a://gw.example.com:1080    the proxy looks up the panel's name
    --proxy socks5://[2001:db8::1]:1080 --proxy-user monitor --proxy-password-file pw
  orbenix-check --url https://panel.example.com --key-file k --hash-file h --print-parameter > p
  Usage with thresholds: warning above 80% of the month's bandwidth used, critical above 90%:
    orbenix-check --parameter-file vps1.parameter --bw-warning 80 --bw-critical 90
  All three values as performance data, memory critical above 95%:
    orbenix-check --parameter-file vps1.parameter --usage --mem-critical 95
)HELP";
}

}  // namespace orbenix::cli
