#!/usr/bin/env bash
# The built-in player's record, game by game: a normal game on each of the seeds 1 to 20
# (frames to the end, score, shield left), then random games on the same seeds, each cut
# off at 100,000 frames (survival and score, with the median and the worst). Not part of
# the test run: it plays a few million frames, JOBS games at a time (default: one per
# core).
#   bash bench/player_games.sh BUILD_DIR [FIRST_SEED LAST_SEED]
set -u
build=${1:-build}
first=${2:-1}
last=${3:-20}
jobs=${JOBS:-$(nproc)}
replay="$build/quillrun-replay"
[ -x "$replay" ] || { echo "no $replay: build quillrun-replay first" >&2; exit 2; }
work=$(mktemp -d /tmp/qr-player-games.XXXXXX)
trap 'rm -rf "$work"' EXIT

# Every game's summary line ("ended F state S score N shield H") into its own file.
for seed in $(seq "$first" "$last"); do
  echo "normal $seed 60000"
  echo "random $seed 100000"
done | xargs -P "$jobs" -n 3 sh -c '"$0" --seed "$2" --play "$1" --frames "$3" --summary > "'"$work"'/$1.$2"' "$replay"

echo "Normal game, seeds $first to $last"
echo "| seed | result | frames | score | shield left |"
echo "|---:|---|---:|---:|---:|"
clears=0 shields=0 games=0
for seed in $(seq "$first" "$last"); do
  read -r _ ended _ state _ score _ shield < "$work/normal.$seed"
  echo "| $seed | $state | $ended | $score | $shield |"
  games=$((games + 1))
  [ "$state" = all-clear ] && clears=$((clears + 1))
  [ "$shield" -gt 0 ] && shields=$((shields + shield))
done
echo
echo "ALL CLEAR on $clears of $games; shield left on average $(awk -v s="$shields" -v n="$games" 'BEGIN { printf "%.2f", s / n }')"
echo

echo "Random game, seeds $first to $last, at most 100000 frames"
echo "| seed | survived (frames) | score | shield left |"
echo "|---:|---:|---:|---:|"
survived=() scores=()
for seed in $(seq "$first" "$last"); do
  read -r _ ended _ state _ score _ shield < "$work/random.$seed"
  [ "$ended" = 0 ] && ended="100000"
  echo "| $seed | $ended | $score | $shield |"
  survived+=("$ended")
  scores+=("$score")
done
median() { printf '%s\n' "$@" | sort -n | awk '{ v[NR] = $1 } END { if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
lowest() { printf '%s\n' "$@" | sort -n | head -1; }
echo
echo "survival: median $(median "${survived[@]}") frames, worst $(lowest "${survived[@]}") frames (100000: still alive at the cut-off)"
echo "score: median $(median "${scores[@]}"), worst $(lowest "${scores[@]}")"
