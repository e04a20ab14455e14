# Sourced: keeps Debian's maintainer scripts from starting any service while
# packages are installed. Without systemd they start services through
# invoke-rc.d (and deb-systemd-invoke under systemd), both of which ask
# /usr/sbin/policy-rc.d first and start nothing when it answers 101.
#
#   hold_services      puts such an answer in place (an existing policy is set aside)
#   release_services   restores what was there; call it from the caller's EXIT trap
#
# Uses $SUDO (empty when root).
SERVICE_POLICY=/usr/sbin/policy-rc.d
service_policy_saved=""
service_policy_held=0

hold_services() {
  if [ -e "$SERVICE_POLICY" ]; then
    service_policy_saved="$($SUDO mktemp /usr/sbin/.policy-rc.d.XXXXXX)"
    $SUDO mv -f "$SERVICE_POLICY" "$service_policy_saved"
  fi
  service_policy_held=1
  printf '#!/bin/sh\n# papelo: no service starts during this install\nexit 101\n' | $SUDO tee "$SERVICE_POLICY" >/dev/null
  $SUDO chmod 755 "$SERVICE_POLICY"
}

release_services() {
  [ "$service_policy_held" = 1 ] || return 0
  if [ -n "$service_policy_saved" ]; then
    $SUDO mv -f "$service_policy_saved" "$SERVICE_POLICY"
  else
    $SUDO rm -f "$SERVICE_POLICY"
  fi
  service_policy_held=0
  service_policy_saved=""
}
