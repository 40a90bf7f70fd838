# Checks of the scenarios that reach one expander through several paths
# (sourced by tests/kernel/run.sh after doors.sh).

# hex_of FILE: the file's bytes as one line of lowercase hex.
hex_of() { od -An -v -tx1 "$1" | tr -d ' \n'; }

# wwid_name WWID: the wwid as corvane puts it in a lock file name (runs of
# other characters than letters, digits, '.' and '-' become one '_').
wwid_name() { printf '%s' "$1" | sed -e 's/[^A-Za-z0-9.-]\{1,\}/_/g' -e 's/^_*//' -e 's/_*$//'; }

# check_paths SCENARIOS OUT: every "path INDEX PATH" node has the wwid of
# expander INDEX's node and is another node; after each "wait GROUP" the lock
# directory holds the wwid's lock and no lock keyed by a device number; the
# downloads started before it arrived each whole, one after the other, in the
# record of the expander (the scenario's only group), and one of them waited
# for the other.
check_paths() {
  local scen=$1 out=$2 bad=0 kind a b c
  local -A node=() wwid=() owner=()
  while read -r a b c; do node[$a]=$b; wwid[$a]=$c; done < "$out/identity"
  while read -r kind a b c; do
    [ "$kind" = path ] || continue
    owner[$b]=$a
    if [ -z "${wwid[$a]}" ] || [ "${wwid[$a]}" != "${wwid[$b]}" ]; then
      echo "kernel: path $b (${node[$b]}) has wwid '${wwid[$b]}', expander $a (${node[$a]}) '${wwid[$a]}'"
      bad=1
    elif [ "${node[$a]}" = "${node[$b]}" ]; then
      echo "kernel: path $b is expander $a's own node ${node[$a]}"
      bad=1
    else
      echo "kernel: ${node[$a]} and ${node[$b]}: one wwid, ${wwid[$a]}"
    fi
  done < "$scen"

  local images=$out/paths-images
  make_images "$images"
  local -a labels=() files=() exps=()
  local label w idx file
  while read -r kind label c; do
    case $kind in
      start)
        file='' idx=''
        for w in $c; do
          case $w in
            download=*) file=${w#download=} ;;
            @[0-9]*) idx=${w#@}; [ -n "${owner[$idx]:-}" ] && idx=${owner[$idx]} ;;
          esac
        done
        [ -n "$file" ] && { labels+=("$label"); files+=("$file"); exps+=("$idx"); }
        ;;
      wait)
        local lock
        lock=corvane-wwid-$(wwid_name "${wwid[${exps[0]:-0}]}").lock
        if ! grep -qx -- "$lock" "$out/$label/locks" 2>/dev/null; then
          echo "kernel: $label: no lock $lock in the lock directory:"
          sed 's/^/  /' "$out/$label/locks" 2>/dev/null
          bad=1
        elif grep -q '^corvane-[bc][0-9]' "$out/$label/locks"; then
          echo "kernel: $label: a lock keyed by a device number: $(tr '\n' ' ' < "$out/$label/locks")"
          bad=1
        else
          echo "kernel: $label: the lock file is $lock"
        fi
        [ ${#labels[@]} -gt 0 ] &&
          { check_downloads_apart "$out/record${exps[0]}.txt" "$images" labels files || bad=1; }
        local waited=0 l
        for l in "${labels[@]}"; do
          grep -q 'waiting for another corvane' "$out/$l/stderr" 2>/dev/null && waited=$((waited + 1))
        done
        if [ ${#labels[@]} -gt 1 ] && [ $waited -ne $((${#labels[@]} - 1)) ]; then
          echo "kernel: $label: $waited of ${#labels[@]} downloads waited for the lock, expected $((${#labels[@]} - 1))"
          bad=1
        fi
        labels=() files=() exps=()
        ;;
    esac
  done < "$scen"
  return $bad
}

# check_downloads_apart RECORD IMAGES LABELS FILES: each send in the record
# belongs to the download whose image holds its bytes at its offset (an
# activation list to the firmware download whose piece came last); no
# download's sends are split by another's, each image arrived whole and in
# order, and a firmware image was followed by its two activation lists.
check_downloads_apart() {
  local record=$1 images=$2 bad=0 i
  local -n run_labels=$3 run_files=$4
  local -a hex=()
  for i in "${!run_files[@]}"; do hex[$i]=$(hex_of "$images/${run_files[$i]}"); done
  local -a got=() acts=() next=()
  local order="" last=-1 last_firmware=-1 line data page off n bytes who
  local firmware_hex=504d4300  # the signature that makes an image firmware
  while read -r line; do
    case $line in cdb=1d*) ;; *) continue ;; esac
    data=${line##* data=}
    page=${data:0:2}
    if [ "$page" = 04 ] && [ "${data:8:2}" = 01 ]; then
      off=$((16#${data:10:8}))
      bytes=${data:18}
      n=$((${#bytes} / 2))
      who=-1
      for i in "${!hex[@]}"; do
        if [ "${hex[$i]:$((off * 2)):$((n * 2))}" = "$bytes" ] && [ $(((off + n) * 2)) -le ${#hex[$i]} ]; then
          [ $who -ge 0 ] && { echo "kernel: a piece at offset $off fits two images"; return 1; }
          who=$i
        fi
      done
      if [ $who -lt 0 ]; then
        echo "kernel: a piece at offset $off of $n bytes belongs to no image started"
        bad=1
        continue
      fi
      if [ "${next[$who]:-0}" -ne "$off" ]; then
        echo "kernel: ${run_labels[$who]}: piece at offset $off where ${next[$who]:-0} was due"
        bad=1
      fi
      next[$who]=$((off + n))
      [ "${hex[$who]:0:8}" = "$firmware_hex" ] && last_firmware=$who
      got[$who]=${got[$who]:-}$bytes
    elif [ "$page" = 91 ]; then
      who=$last_firmware
      [ "$who" -ge 0 ] || { echo "kernel: an activation list before any firmware piece"; bad=1; continue; }
      acts[$who]=$((${acts[$who]:-0} + 1))
    else
      continue
    fi
    [ "$who" != "$last" ] && order="$order $who"
    last=$who
  done < "$record"
  local shown="" w
  for w in $order; do shown="$shown ${run_labels[$w]}"; done
  if [ "$(echo $order | wc -w)" -gt "${#run_labels[@]}" ]; then
    echo "kernel: the downloads' sends are interleaved:$shown"
    bad=1
  fi
  for i in "${!run_labels[@]}"; do
    local want_acts=0
    [ "${hex[$i]:0:8}" = "$firmware_hex" ] && want_acts=2
    if [ "${got[$i]:-}" != "${hex[$i]}" ]; then
      echo "kernel: ${run_labels[$i]}: $((${#got[$i]} / 2)) of $((${#hex[$i]} / 2)) image bytes arrived"
      bad=1
    elif [ "${acts[$i]:-0}" -ne $want_acts ]; then
      echo "kernel: ${run_labels[$i]}: ${acts[$i]:-0} activation lists after its pieces, expected $want_acts"
      bad=1
    fi
  done
  [ $bad -eq 0 ] && echo "kernel: the downloads arrived whole, one after the other:$shown"
  return $bad
}
