#!/usr/bin/env bash
# Checks the include graph against the layers: a folder may include headers of its own folder
# and of the folders listed for it, never of a layer above. Usage: check_layers.sh SOURCE_DIR
set -euo pipefail
cd "$1"

# folder -> the folders (besides itself) whose headers it may include
declare -A allowed=(
  [base]=""
  [resources]=""
  [scales]="base"
  [device]="base"
  [audio]="base"
  [core]="base resources scales device audio"
  [hand]="base resources scales"
  [dialogs]="base resources scales audio"
  [app]="base resources scales device audio core hand dialogs"
  [tools]="base resources scales device audio core hand dialogs app"
)
ours="base resources scales device audio core hand dialogs app tools tests"

status=0
for folder in "${!allowed[@]}"; do
  [ -d "$folder" ] || continue
  while IFS=: read -r file line include; do
    target="${include#*\"}"
    target="${target%%/*}"
    case " $ours " in *" $target "*) ;; *) continue ;; esac
    [ "$target" = "$folder" ] && continue
    case " ${allowed[$folder]} " in *" $target "*) continue ;; esac
    echo "$file:$line: $folder/ may not include $target/ (${include#*#include })"
    status=1
  done < <(grep -rnE --include='*.h' --include='*.cpp' '^\s*#\s*include\s+"[a-z_]+/' "$folder" || true)
done
# Test code stays out of the program: nothing outside tests/ and fuzz/ includes it.
if grep -rnE --include='*.h' --include='*.cpp' '#\s*include\s+"tests/' \
     base resources scales device audio core hand dialogs app tools 2>/dev/null; then
  echo "program code includes test code"
  status=1
fi
[ $status -eq 0 ] && echo "layers: every include points down"
exit $status
