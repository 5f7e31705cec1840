// The runner of the npm package midi-file in the peer benchmark
// (scripts/bench-peers.sh).
//
//   node midi_file_bench.js parse|write FILE MIN_RUNS BUDGET_SECONDS
//
// parse times parseMidi(fs.readFileSync(FILE)); write parses once, untimed,
// then times writeMidi(parsed, {running: true}) and its conversion into a
// Buffer (writeMidi returns an array of numbers). Each run prints its wall
// time in milliseconds on a line of its own as soon as it ends. Runs at
// least MIN_RUNS times and until the budget is spent (at most 100 runs).
'use strict';
const fs = require('fs');
const { parseMidi, writeMidi } = require('midi-file');

const [mode, path, minRunsArg, budgetArg] = process.argv.slice(2);
const minRuns = Number(minRunsArg);
const budgetMs = Number(budgetArg) * 1000;
const now = () => Number(process.hrtime.bigint()) / 1e6;

const loaded = mode === 'write' ? parseMidi(fs.readFileSync(path)) : null;
const size = fs.statSync(path).size;
const start = now();
for (let runs = 0; runs < 100 && (runs < minRuns || now() - start < budgetMs); ++runs) {
  const t0 = now();
  if (mode === 'write') {
    const bytes = Buffer.from(writeMidi(loaded, { running: true }));
    const t1 = now();
    if (runs === 0 && bytes.length !== size)
      process.stderr.write(`midi_file_bench: wrote ${bytes.length} bytes of ${size}\n`);
    process.stdout.write(`${(t1 - t0).toFixed(3)}\n`);
  } else {
    const parsed = parseMidi(fs.readFileSync(path));
    const t1 = now();
    if (parsed.tracks.length === 0)
      process.stderr.write('midi_file_bench: no tracks\n');
    process.stdout.write(`${(t1 - t0).toFixed(3)}\n`);
  }
}
