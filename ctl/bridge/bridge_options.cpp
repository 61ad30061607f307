// `bridge` on the command line: the broker, the credentials (never a password
// itself: a command line is visible to every user of the machine), the
// topics' QoS and what the broker may ask of the board.
#include "ctl/bridge/bridge_options.h"

#include <CLI/CLI.hpp>

#include "ctl/bridge/bridge_messages.h"

namespace quorvane::ctl {

CLI::App* AddBridgeCommand(CLI::App& app, BridgeOptions& o) {
  CLI::App* bridge = app.add_subcommand(
      "bridge", "publish the board's readings and state to an MQTT broker, and take settings");
  bridge
      ->add_option("--broker", o.brokerUrl, "the broker: mqtt://HOST[:PORT] or mqtts://HOST[:PORT]")
      ->required()
      ->type_name("URL");
  bridge
      ->add_option("--id", o.id,
                   "the board's name in the topics quorvane/ID/... (default: HOST-PORT, this "
                   "machine's name and the port's)")
      ->check(CLI::Validator(
          // The parser puts the option's name in front of the problem.
          [](std::string& id) { return BridgeIdProblem(id); }, "ID"))
      ->type_name("ID");
  bridge->add_flag("--tls", o.tls, "TLS to the broker (implied by mqtts:// and --cafile)");
  bridge->add_option("--cafile", o.caFile, "trust the broker certificate signed by this CA (PEM)")
      ->check(CLI::ExistingFile)
      ->type_name("FILE");
  bridge->add_option("--username", o.username, "the user name the broker knows the bridge by")
      ->type_name("USER");
  bridge
      ->add_option("--password-file", o.passwordFile,
                   "the password, first line of FILE; FILE must not be readable by group or others")
      ->needs(bridge->get_option("--username"))
      ->type_name("FILE");
  bridge->add_option("--client-id", o.clientId, "the MQTT client id (default quorvane-ID)")
      ->type_name("CLIENT");
  const auto qos = [&](const char* name, int& value, const char* what) {
    bridge->add_option(name, value, what)->check(CLI::Range(0, 2))->type_name("0-2");
  };
  qos("--readings-qos", o.readingsQos, "QoS of the readings (default 0)");
  qos("--state-qos", o.stateQos, "QoS of the state and the discovery records (default 1)");
  qos("--availability-qos", o.availabilityQos, "QoS of availability and the last will (default 1)");
  qos("--set-qos", o.setQos, "QoS of the set subscription and its results (default 1)");
  bridge->add_flag("--allow-set", o.allowSet,
                   "carry out settings from quorvane/ID/set (refused without it)");
  bridge->add_flag("--discovery", o.discovery,
                   "publish retained discovery records so a dashboard lists the board's sensors");
  return bridge;
}

}  // namespace quorvane::ctl
