// Runs the README's `mcpServers` snippet through the official MCP Inspector's command-line mode.
// node inspector_readme.mjs NORVEX_PROGRAM [README]
// Exits 0 when every check passes, 1 on the first failure, 77 when the Inspector or Xvfb is not installed.
import { execFileSync, spawn } from 'node:child_process';
import { createRequire } from 'node:module';
import { mkdirSync, mkdtempSync, readFileSync, rmSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { dirname, join, resolve } from 'node:path';
import { fileURLToPath } from 'node:url';

const here = dirname(fileURLToPath(import.meta.url));
const repo = resolve(here, '..', '..', '..');
const program = process.argv[2] && resolve(process.argv[2]);
const readmePath = process.argv[3] ?? join(repo, 'README.md');
if (!program) {
  console.error('usage: node inspector_readme.mjs NORVEX_PROGRAM [README]');
  process.exit(2);
}

// The Inspector's launcher is run with this node rather than through npx, which
// could go to the registry for a package that is not installed.
let launcher;
try {
  const require = createRequire(join(here, 'package.json'));
  const manifestPath = require.resolve('@modelcontextprotocol/inspector/package.json');
  const manifest = JSON.parse(readFileSync(manifestPath, 'utf8'));
  launcher = join(dirname(manifestPath), manifest.bin['mcp-inspector']);
  console.log(`# MCP Inspector ${manifest.version}`);
} catch (e) {
  console.error(`the MCP Inspector is not installed (run scripts/install-deps.sh): ${e.message}`);
  process.exit(77);
}
try { execFileSync('sh', ['-c', 'command -v Xvfb'], { stdio: 'ignore' }); } catch {
  console.error('Xvfb is not installed (run scripts/install-deps.sh): the computer tools need a display');
  process.exit(77);
}

class Failure extends Error {}
function fail(message) { throw new Failure(message); }
const checks = [];
function check(name) { checks.push(name); console.log(`ok - ${name}`); }

// An unusual size, so that neither the server's 1920 x 1080 fallback nor another
// test's display could pass for ours.
const SCREEN = { width: 1152, height: 864 };
const SKILL_TOOLS = ['skill_create', 'skill_list', 'skill_show', 'skill_delete', 'skill_log', 'skill_stats'];

// The one ```json block of the README that holds "mcpServers", parsed.
function readmeSnippet() {
  const text = readFileSync(readmePath, 'utf8');
  const blocks = [...text.matchAll(/^```json[ \t]*\n([\s\S]*?)^```/gm)].map((m) => m[1])
    .filter((body) => body.includes('"mcpServers"'));
  if (blocks.length !== 1) fail(`${readmePath} has ${blocks.length} json blocks with "mcpServers", expected 1`);
  let config;
  try { config = JSON.parse(blocks[0]); } catch (e) { fail(`the README's mcpServers block is not valid JSON: ${e.message}`); }
  const names = Object.keys(config.mcpServers ?? {});
  if (names.length !== 1) fail(`the README's snippet names ${names.length} servers (${names}), expected 1`);
  const entry = config.mcpServers[names[0]];
  if (typeof entry.command !== 'string') fail('the README\'s server has no "command"');
  if (!Array.isArray(entry.args)) fail('the README\'s server has no "args" list');
  return { config, name: names[0], entry };
}

// A private Xvfb that picks a free display itself and writes its number to fd 3
// once it accepts clients, so no other test's server can be mistaken for ours.
async function startXvfb() {
  // -noreset: otherwise the server resets whenever its last client leaves and
  // refuses connections meanwhile, and each Inspector run starts a new client.
  const server = spawn('Xvfb', ['-displayfd', '3', '-screen', '0', `${SCREEN.width}x${SCREEN.height}x24`,
                                '-nolisten', 'tcp', '-noreset'],
                       { stdio: ['ignore', 'ignore', 'pipe', 'pipe'] });
  cleanups.push(() => server.kill());
  let errors = '';
  server.stderr.on('data', (chunk) => { errors += chunk; });
  const number = await new Promise((done, reject) => {
    let text = '';
    const timer = setTimeout(() => reject(new Failure('Xvfb did not report a display within 10 s')), 10000);
    server.stdio[3].on('data', (chunk) => {
      text += chunk.toString();
      if (text.includes('\n')) { clearTimeout(timer); done(text.trim()); }
    });
    server.on('exit', (code) => { clearTimeout(timer); reject(new Failure(`Xvfb exited with ${code}: ${errors}`)); });
  });
  return { display: `:${number}`, server };
}

// One run of the Inspector's CLI mode, answering its JSON output. Its own
// environment carries no desktop variables, so whatever display the server
// sees came through the configuration, as with a client started from a menu.
function inspector(args, home) {
  const env = {
    PATH: process.env.PATH,
    HOME: home,
    LANG: 'C.UTF-8',
    NO_COLOR: '1',
    // Nothing in CLI mode should open a browser; if anything tried, it must not.
    MCP_AUTO_OPEN_ENABLED: 'false',
    BROWSER: 'true',
    // Without this it asks the session bus for a keychain that a test machine
    // lacks; the snippet's env values are secrets to it.
    MCP_INSPECTOR_SECRET_STORE: 'memory',
  };
  const argv = [launcher, '--cli', ...args];
  return new Promise((done, reject) => {
    const child = spawn(process.execPath, argv, { env, cwd: home, stdio: ['ignore', 'pipe', 'pipe'] });
    let out = '';
    let err = '';
    child.stdout.on('data', (chunk) => { out += chunk; });
    child.stderr.on('data', (chunk) => { err += chunk; });
    // A safety limit only: a hung server should fail the test, not stall ctest.
    const timer = setTimeout(() => child.kill('SIGKILL'), 60000);
    child.on('error', (e) => { clearTimeout(timer); reject(e); });
    child.on('close', (code, signal) => {
      clearTimeout(timer);
      const shown = `inspector ${argv.slice(1).join(' ')}`;
      if (code !== 0) {
        reject(new Failure(`${shown}\n  exited with ${code ?? signal}\n  stdout: ${out.trim()}\n  stderr: ${err.trim()}`));
        return;
      }
      // --format json wraps the method's answer as {"result": ...}.
      let answer;
      try { answer = JSON.parse(out).result; } catch { answer = undefined; }
      if (answer === undefined) reject(new Failure(`${shown}\n  printed no result: ${out.trim()}\n  stderr: ${err.trim()}`));
      else done(answer);
    });
  });
}

function toolNames(listing, how) {
  if (!Array.isArray(listing.tools)) fail(`${how}: tools/list answered no tools: ${JSON.stringify(listing)}`);
  return listing.tools.map((t) => t.name);
}

function requireTools(names, how, envKeys) {
  const missing = ['sourcelens', ...SKILL_TOOLS].filter((n) => !names.includes(n));
  if (missing.length) fail(`${how}: tools/list lacks ${missing.join(', ')} (listed: ${names.join(', ')})`);
  const desktop = ['computer', 'computer_info'].filter((n) => !names.includes(n));
  if (desktop.length) {
    const cause = envKeys.includes('DISPLAY') ? `its DISPLAY did not open`
      : `the server starts with a clean environment and the snippet's env passes no DISPLAY (only ${envKeys.join(', ') || 'nothing'})`;
    fail(`${how}: tools/list lacks ${desktop.join(', ')}: ${cause} (listed: ${names.join(', ')})`);
  }
}

function onlyText(result, how) {
  if (result.isError) fail(`${how} came back as an error: ${JSON.stringify(result.content)}`);
  const texts = (result.content ?? []).filter((c) => c.type === 'text');
  if (texts.length !== 1) fail(`${how} answered ${JSON.stringify(result)}, expected one text block`);
  return texts[0].text;
}

function checkScreen(result, how) {
  const info = JSON.parse(onlyText(result, how));
  if (info.screen_width !== SCREEN.width || info.screen_height !== SCREEN.height) {
    fail(`${how} reports ${info.screen_width} x ${info.screen_height}, the Xvfb has ${SCREEN.width} x ${SCREEN.height}`);
  }
}

async function main(scratch) {
  const { config, name, entry } = readmeSnippet();
  check(`the README's snippet parses (server "${name}", args ${JSON.stringify(entry.args)})`);

  const xvfb = await startXvfb();
  const home = join(scratch, 'home');
  const runtime = join(scratch, 'runtime');
  mkdirSync(home);
  mkdirSync(runtime, { mode: 0o700 });
  // Xvfb runs without access control, so the authority file may be absent;
  // the Wayland name leads to no socket, as on a desktop without Wayland.
  const values = {
    DISPLAY: xvfb.display,
    XAUTHORITY: join(scratch, 'no-Xauthority'),
    WAYLAND_DISPLAY: 'wayland-absent',
    XDG_RUNTIME_DIR: runtime,
  };
  const env = {};
  for (const [key, value] of Object.entries(entry.env ?? {})) env[key] = key in values ? values[key] : value;
  // Only the command and the values change; the args and the keys stay the README's.
  const server = { ...entry, command: program, env };
  const configPath = join(scratch, 'mcp.json');
  writeFileSync(configPath, JSON.stringify({ ...config, mcpServers: { [name]: server } }, null, 2));
  const envKeys = Object.keys(env);
  const fromConfig = ['--config', configPath, '--server', name, '--format', 'json'];

  const how = 'with the README config';
  requireTools(toolNames(await inspector([...fromConfig, '--method', 'tools/list'], home), how), how, envKeys);
  check('tools/list from the config file offers sourcelens, the skill tools, computer and computer_info');

  // What the summary must say is read off the file here, independently of the analysis.
  const sample = join(repo, 'examples', 'inventory.py');
  const source = readFileSync(sample, 'utf8').replace(/\n$/, '').split('\n');
  const defined = (pattern) => source.flatMap((line, i) => {
    const m = line.match(pattern);
    return m ? [`${m[1]}@${i + 1}`] : [];
  }).sort();
  const call = [...fromConfig, '--method', 'tools/call', '--tool-name', 'sourcelens', '--tool-args-json',
                JSON.stringify({ operation: 'summarize', path: sample })];
  const text = onlyText(await inspector(call, home), 'sourcelens summarize');
  let summary;
  try { summary = JSON.parse(text); } catch { fail(`sourcelens summarize answered no JSON: ${text}`); }
  const expected = {
    path: sample,
    total_lines: source.length,
    classes: defined(/^class (\w+)/),
    functions: defined(/^\s*(?:async\s+)?def (\w+)/),
  };
  const got = {
    path: summary.path,
    total_lines: summary.total_lines,
    classes: (summary.classes ?? []).map((c) => `${c.name}@${c.line}`).sort(),
    functions: (summary.functions ?? []).map((f) => `${f.name}@${f.line}`).sort(),
  };
  if (JSON.stringify(got) !== JSON.stringify(expected)) {
    fail(`sourcelens summarize through the Inspector says ${JSON.stringify(got)}, the file has ${JSON.stringify(expected)}`);
  }
  check('tools/call sourcelens summarize returns the summary of examples/inventory.py');

  checkScreen(await inspector([...fromConfig, '--method', 'tools/call', '--tool-name', 'computer_info'], home),
              'computer_info from the config file');
  check(`tools/call computer_info reports the Xvfb's ${SCREEN.width} x ${SCREEN.height}`);

  // The same server on the Inspector's own command line, after its options.
  // The Inspector reads options among the target's words too and drops those it
  // knows (it took `--log-level warning` from `norvex mcp --log-level warning`
  // silently), so a thin launcher records the words that reach the server
  // before it becomes norvex.
  const received = join(scratch, 'server-argv');
  const norvex = join(scratch, 'norvex');
  writeFileSync(norvex, `#!/bin/sh\nprintf '%s\\0' "$@" > ${shellWord(received)}\nexec ${shellWord(program)} "$@"\n`,
                { mode: 0o755 });
  const envOptions = Object.entries(env).flatMap(([k, v]) => ['-e', `${k}=${v}`]);
  const onCommandLine = ['--format', 'json', ...envOptions];
  const target = [norvex, ...entry.args];
  const how2 = 'with the server on the command line';
  requireTools(toolNames(await inspector([...onCommandLine, '--method', 'tools/list', ...target], home), how2), how2, envKeys);
  const argv = readFileSync(received, 'utf8').split('\0').slice(0, -1);
  if (JSON.stringify(argv) !== JSON.stringify(entry.args)) {
    fail(`${how2}: the server was started with ${JSON.stringify(argv)}, the README's args are ${JSON.stringify(entry.args)}; `
         + 'the Inspector took some of them as its own options');
  }
  checkScreen(await inspector([...onCommandLine, '--method', 'tools/call', '--tool-name', 'computer_info', ...target], home),
              'computer_info with the server on the command line');
  check(`the server on the Inspector's command line (norvex ${entry.args.join(' ')}) gets its args, lists the tools and reports the screen`);
}

function shellWord(text) { return `'${text.replaceAll("'", "'\\''")}'`; }

const cleanups = [];
const scratch = mkdtempSync(join(tmpdir(), 'norvex_mcp_inspector_'));
try {
  await main(scratch);
  console.log(`${checks.length} passed, 0 failed`);
  process.exitCode = 0;
} catch (e) {
  console.error(`not ok - after ${checks.length} checks: ${e instanceof Failure ? e.message : e.stack ?? e}`);
  process.exitCode = 1;
} finally {
  for (const cleanup of cleanups) cleanup();
  rmSync(scratch, { recursive: true, force: true });
}
