#include <avahi-client/client.h>
#include <avahi-client/publish.h>
#include <avahi-common/alternative.h>
#include <avahi-common/error.h>
#include <avahi-common/malloc.h>
#include <avahi-common/strlst.h>
#include <avahi-common/thread-watch.h>

#include <vector>

#include "app/scpi/announce.h"
#include "app/scpi/options.h"

namespace kolvane::server {

namespace {

constexpr const char* kServiceType = "_scpi-raw._tcp";
// The portmapper's port, where VXI-11 clients start.
constexpr unsigned short kPortmapperPort = 111;

// One DNS-SD service of the announcement.
struct Service {
  const char* type;
  unsigned short port;
  bool web;  // TXT path=/
};

class AvahiAnnouncer : public Announcer {
 public:
  AvahiAnnouncer(const Announcement& a, EventLog& log) : a_(a), name_(a.name), log_(log) {
    poll_ = avahi_threaded_poll_new();
    if (poll_ == nullptr) {
      log_.Warning("cannot start the mDNS announcement (out of memory); serving unannounced");
      return;
    }
    int error = 0;
    client_ = avahi_client_new(avahi_threaded_poll_get(poll_), AVAHI_CLIENT_NO_FAIL, OnClient, this,
                               &error);
    if (client_ == nullptr) {
      log_.Warning(std::string("cannot reach avahi-daemon over the system D-Bus (") +
                   avahi_strerror(error) + "); serving without the mDNS announcement");
      return;
    }
    avahi_threaded_poll_start(poll_);
  }

  ~AvahiAnnouncer() override {
    if (poll_ == nullptr) return;
    avahi_threaded_poll_stop(poll_);
    // Freeing the client withdraws the announcement.
    if (client_ != nullptr) avahi_client_free(client_);
    avahi_threaded_poll_free(poll_);
  }

 private:
  static void OnClient(AvahiClient* c, AvahiClientState state, void* self) {
    static_cast<AvahiAnnouncer*>(self)->ClientChanged(c, state);
  }
  static void OnGroup(AvahiEntryGroup* g, AvahiEntryGroupState state, void* self) {
    static_cast<AvahiAnnouncer*>(self)->GroupChanged(g, state);
  }

  void ClientChanged(AvahiClient* c, AvahiClientState state) {
    switch (state) {
      case AVAHI_CLIENT_S_RUNNING:
        Register(c);
        break;
      case AVAHI_CLIENT_S_COLLISION:
      case AVAHI_CLIENT_S_REGISTERING:
        // The host name changes; the service comes back once it is settled.
        if (group_ != nullptr) avahi_entry_group_reset(group_);
        break;
      case AVAHI_CLIENT_CONNECTING:
        log_.Warning(
            "avahi-daemon is not running: serving without the mDNS announcement until it "
            "starts");
        break;
      case AVAHI_CLIENT_FAILURE:
        if (avahi_client_errno(c) == AVAHI_ERR_DISCONNECTED) {
          log_.Warning("avahi-daemon went away: the mDNS announcement returns when it is back");
          // The group goes with its client.
          avahi_client_free(c);
          group_ = nullptr;
          int error = 0;
          client_ = avahi_client_new(avahi_threaded_poll_get(poll_), AVAHI_CLIENT_NO_FAIL, OnClient,
                                     this, &error);
        } else {
          log_.Warning(std::string("the mDNS announcement failed: ") +
                       avahi_strerror(avahi_client_errno(c)));
        }
        break;
    }
  }

  void GroupChanged(AvahiEntryGroup* g, AvahiEntryGroupState state) {
    switch (state) {
      case AVAHI_ENTRY_GROUP_ESTABLISHED:
        log_.Notice(
            "announced as '" + name_ + "' (" + kServiceType + ", port " + std::to_string(a_.port) +
            (a_.httpPort != 0 ? "; _lxi._tcp and _http._tcp, port " + std::to_string(a_.httpPort)
                              : std::string()) +
            (a_.vxi11 ? "; _vxi-11._tcp, port 111" : "") + ")");
        break;
      case AVAHI_ENTRY_GROUP_COLLISION: {
        char* other = avahi_alternative_service_name(name_.c_str());
        log_.Warning("the mDNS name '" + name_ + "' is taken on the network; announcing as '" +
                     other + "'");
        name_ = other;
        avahi_free(other);
        avahi_entry_group_reset(g);
        Register(avahi_entry_group_get_client(g));
        break;
      }
      case AVAHI_ENTRY_GROUP_FAILURE:
        log_.Warning(std::string("the mDNS announcement failed: ") +
                     avahi_strerror(avahi_client_errno(avahi_entry_group_get_client(g))));
        break;
      case AVAHI_ENTRY_GROUP_UNCOMMITED:
      case AVAHI_ENTRY_GROUP_REGISTERING:
        break;
    }
  }

  void Register(AvahiClient* c) {
    if (group_ == nullptr) group_ = avahi_entry_group_new(c, OnGroup, this);
    if (group_ == nullptr || !avahi_entry_group_is_empty(group_)) return;
    const scpi::Identity& id = a_.identity;
    std::vector<Service> services{{kServiceType, a_.port, false}};
    if (a_.httpPort != 0) {
      services.push_back({"_lxi._tcp", a_.httpPort, true});
      services.push_back({"_http._tcp", a_.httpPort, true});
    }
    if (a_.vxi11) services.push_back({"_vxi-11._tcp", kPortmapperPort, false});
    int r = 0;
    for (const Service& service : services) {
      AvahiStringList* txt = avahi_string_list_new(
          "txtvers=1", ("Manufacturer=" + id.manufacturer).c_str(), ("Model=" + id.model).c_str(),
          ("SerialNumber=" + id.serial).c_str(), ("FirmwareVersion=" + id.version).c_str(),
          nullptr);
      if (service.web) txt = avahi_string_list_add(txt, "path=/");
      r = avahi_entry_group_add_service_strlst(
          group_, AVAHI_IF_UNSPEC, a_.ipv4Only ? AVAHI_PROTO_INET : AVAHI_PROTO_UNSPEC,
          AvahiPublishFlags{}, name_.c_str(), service.type, nullptr, nullptr, service.port, txt);
      avahi_string_list_free(txt);
      if (r < 0) break;
    }
    if (r == AVAHI_ERR_COLLISION) {
      GroupChanged(group_, AVAHI_ENTRY_GROUP_COLLISION);
      return;
    }
    if (r >= 0) r = avahi_entry_group_commit(group_);
    if (r < 0) {
      log_.Warning(std::string("the mDNS announcement failed: ") + avahi_strerror(r));
    }
  }

  Announcement a_;
  std::string name_;
  EventLog& log_;
  AvahiThreadedPoll* poll_ = nullptr;
  AvahiClient* client_ = nullptr;
  AvahiEntryGroup* group_ = nullptr;
};

}  // namespace

std::unique_ptr<Announcer> Announce(const Announcement& announcement, EventLog& log) {
  return std::make_unique<AvahiAnnouncer>(announcement, log);
}

}  // namespace kolvane::server
