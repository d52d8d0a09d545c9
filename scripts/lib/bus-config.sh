# shellcheck shell=bash
# The configuration of a private D-Bus bus, shared by scripts/with-session.sh
# and the desktop matrix (tests/e2e/desktops/).

# bus_config TYPE LISTEN SERVICE_DIR: prints the configuration of a bus of TYPE
# (session or system) listening at LISTEN (a D-Bus address) that starts
# services only from SERVICE_DIR, so that no call can start a daemon of the
# machine's own desktop.
bus_config() {
    cat <<EOF
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>$1</type>
  <keep_umask/>
  <listen>$2</listen>
  <auth>EXTERNAL</auth>
  <servicedir>$3</servicedir>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
EOF
}
