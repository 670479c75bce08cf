// Drives `norvex mcp` with the official MCP TypeScript SDK client over stdio:
// node sdk_client.mjs NORVEX_PROGRAM STANDIN_WORKER
// STANDIN_WORKER is the tests' stand-in astprobe, whose "hang" never answers.
// Exits 0 when every check passes, 1 on the first failure, 77 when the SDK is not installed.
import assert from 'node:assert/strict';
import { execFileSync, spawn } from 'node:child_process';
import { copyFileSync, existsSync, linkSync, mkdirSync, mkdtempSync, readdirSync, rmSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { dirname, join } from 'node:path';

let Client;
let StdioClientTransport;
try {
  ({ Client } = await import('@modelcontextprotocol/sdk/client/index.js'));
  ({ StdioClientTransport } = await import('@modelcontextprotocol/sdk/client/stdio.js'));
} catch (e) {
  console.error(`the MCP SDK is not installed (run scripts/install-deps.sh): ${e.message}`);
  process.exit(77);
}

const program = process.argv[2];
const standinWorker = process.argv[3];
if (!program || !standinWorker) {
  console.error('usage: node sdk_client.mjs NORVEX_PROGRAM STANDIN_WORKER');
  process.exit(2);
}

// A copy of the program's tree whose astprobe is the stand-in: the real one
// answers every path at once (a FIFO included), so a call that is still
// running when the client aborts it needs the stand-in's "hang". The copy
// finds its libraries and its workers relative to itself.
function standinProgram(folder) {
  const core = join(dirname(program), '..', 'lib', 'norvex', 'core');
  for (const sub of ['bin', 'lib/norvex/core', 'lib/norvex/workers']) mkdirSync(join(folder, sub), { recursive: true });
  const place = (from, to) => { try { linkSync(from, to); } catch { copyFileSync(from, to); } };
  place(program, join(folder, 'bin', 'norvex'));
  for (const name of readdirSync(core)) place(join(core, name), join(folder, 'lib', 'norvex', 'core', name));
  place(standinWorker, join(folder, 'lib', 'norvex', 'workers', 'astprobe'));
  return join(folder, 'bin', 'norvex');
}

const scratch = mkdtempSync(join(tmpdir(), 'norvex_mcp_sdk_'));
const checks = [];
function check(name) { checks.push(name); console.log(`ok - ${name}`); }

// A private Xvfb, or null when Xvfb is not installed. The server picks a free
// display itself and writes its number to fd 3 once it accepts clients, so a
// server another test starts at the same moment can never be mistaken for ours.
async function startXvfb() {
  try { execFileSync('sh', ['-c', 'command -v Xvfb']); } catch { return null; }
  // -noreset: otherwise the server resets whenever its last client leaves
  // and refuses connections meanwhile, so the server's screen-size query
  // could meet a refusal and fall back to 1920 x 1080.
  const server = spawn('Xvfb', ['-displayfd', '3', '-screen', '0', '1024x768x24', '-nolisten', 'tcp', '-noreset'],
                       { stdio: ['ignore', 'ignore', 'ignore', 'pipe'] });
  const number = await new Promise((resolve, reject) => {
    let text = '';
    const timer = setTimeout(() => reject(new Error('Xvfb did not report a display within 10 s')), 10000);
    server.stdio[3].on('data', (chunk) => {
      text += chunk.toString();
      if (text.includes('\n')) { clearTimeout(timer); resolve(text.trim()); }
    });
    server.on('exit', (code) => { clearTimeout(timer); reject(new Error(`Xvfb exited with ${code}`)); });
  });
  return { display: `:${number}`, server };
}

async function main() {
  const sample = join(scratch, 'shop.py');
  writeFileSync(sample, [
    'import json',
    '',
    '# FIXME: prices in cents',
    'class Cart:',
    '    def __init__(self):',
    '        self.items = []',
    '',
    '    def total(self):',
    '        return sum(i["price"] for i in self.items if i)',
    '',
  ].join('\n'));

  xvfb = await startXvfb();
  const env = { ...process.env };
  if (xvfb) env.DISPLAY = xvfb.display; else delete env.DISPLAY;
  const connect = async (command) => {
    const transport = new StdioClientTransport({
      command,
      args: ['mcp', '-q', '--data-dir', join(scratch, 'data')],
      env,
      stderr: 'inherit',
    });
    const connected = new Client({ name: 'norvex-sdk-test', version: '1.0.0' });
    await connected.connect(transport);
    return connected;
  };
  client = await connect(program);

  const info = client.getServerVersion();
  assert.equal(info.name, 'norvex');
  assert.ok(client.getServerCapabilities().tools, 'the server announces tools');
  check('initialize through the SDK');

  const { tools } = await client.listTools();
  const lens = tools.find((t) => t.name === 'sourcelens');
  assert.ok(lens, `sourcelens is listed among ${tools.map((t) => t.name)}`);
  assert.deepEqual(lens.inputSchema.required, ['operation', 'path']);
  assert.ok(lens.inputSchema.properties.operation.enum.includes('call_graph'));
  check('tools/list offers sourcelens with its schema');

  const summary = await client.callTool({ name: 'sourcelens', arguments: { operation: 'find_classes', path: sample } });
  assert.equal(summary.isError, false);
  assert.equal(summary.content[0].type, 'text');
  const classes = JSON.parse(summary.content[0].text);
  assert.deepEqual(classes.map((c) => c.name), ['Cart']);
  check('sourcelens find_classes on a real file');

  const todos = await client.callTool({ name: 'sourcelens', arguments: { operation: 'find_todos', path: sample } });
  assert.match(todos.content[0].text, /prices in cents/);
  check('sourcelens find_todos on a real file');

  const missing = await client.callTool({ name: 'sourcelens', arguments: { path: join(scratch, 'absent.py') } });
  assert.equal(missing.isError, true);
  assert.match(missing.content[0].text, /^\[ERROR\] File not found: /);
  check('a failed analysis comes back with isError');

  // A FIFO is no file to analyse, and says so at once.
  const fifo = join(scratch, 'blocked.py');
  execFileSync('mkfifo', [fifo]);
  const piped = await client.callTool({ name: 'sourcelens', arguments: { path: fifo } });
  assert.equal(piped.isError, true);
  assert.match(piped.content[0].text, /^\[ERROR\] Not a regular file: .* is a named pipe \(FIFO\)/);
  check('a FIFO is refused at once');

  // A call the SDK aborts is cancelled on the server, which keeps serving.
  hanging = await connect(standinProgram(join(scratch, 'standin')));
  const abort = new AbortController();
  const slow = hanging.callTool({ name: 'sourcelens', arguments: { operation: 'hang', path: sample } }, undefined,
                                { signal: abort.signal });
  setTimeout(() => abort.abort('test gives up'), 300);
  await assert.rejects(slow);
  await hanging.ping();
  const after = await hanging.callTool({ name: 'sourcelens', arguments: { operation: 'symbols', path: sample } });
  assert.equal(after.isError, false);
  await hanging.close();
  check('an aborted call is cancelled and the server goes on');

  await assert.rejects(client.callTool({ name: 'no_such_tool', arguments: {} }), /Unknown tool/);
  check('an unknown tool is a protocol error');

  // Skills live in the server's data folder.
  const created = await client.callTool({ name: 'skill_create', arguments: {
    name: 'archive_mail', description: 'Archive the open message', app: 'thunderbird', category: 'email',
    triggers: ['archive this'], reason: 'done by hand every morning',
    steps: [{ description: 'Archive', operation: 'keyboard_press', params: { key: 'a' } }],
  } });
  assert.equal(created.isError, false, created.content[0].text);
  assert.equal(JSON.parse(created.content[0].text).success, true);
  assert.ok(existsSync(join(scratch, 'data', 'skills', 'archive_mail.json')));
  const listed = JSON.parse((await client.callTool({ name: 'skill_list', arguments: {} })).content[0].text);
  assert.deepEqual(listed.map((s) => s.name), ['archive_mail']);
  const deleted = await client.callTool({ name: 'skill_delete', arguments: { name: 'archive_mail' } });
  assert.equal(deleted.isError, false);
  assert.deepEqual(JSON.parse((await client.callTool({ name: 'skill_list', arguments: {} })).content[0].text), []);
  const stats = JSON.parse((await client.callTool({ name: 'skill_stats', arguments: {} })).content[0].text);
  assert.equal(stats.skills_created, 1);
  assert.equal(stats.skills_deleted, 1);
  check('skill_create, skill_list, skill_delete and skill_stats in a temporary data folder');

  if (xvfb) {
    assert.ok(tools.some((t) => t.name === 'computer'), 'computer is listed with a display');
    const shot = await client.callTool({ name: 'computer', arguments: { action: 'screenshot' } });
    assert.equal(shot.isError, false);
    assert.equal(shot.content[0].type, 'image');
    assert.equal(shot.content[0].mimeType, 'image/png');
    const png = Buffer.from(shot.content[0].data, 'base64');
    assert.equal(png.subarray(1, 4).toString('latin1'), 'PNG');
    assert.equal(png.readUInt32BE(16), 1024);  // the IHDR width
    const info = JSON.parse((await client.callTool({ name: 'computer_info', arguments: {} })).content[0].text);
    assert.equal(info.screen_width, 1024);
    check('a screenshot on Xvfb as image content');
  } else {
    assert.ok(!tools.some((t) => t.name === 'computer'), 'no computer tool without a display');
    console.log('skip - the screenshot: Xvfb is not installed');
  }

  await client.close();
  check('close');
}

let xvfb = null;
let client = null;
let hanging = null;
try {
  await main();
  console.log(`${checks.length} passed, 0 failed`);
  process.exitCode = 0;
} catch (e) {
  console.error(`not ok - after ${checks.length} checks: ${e.stack ?? e}`);
  process.exitCode = 1;
} finally {
  // After a failure the server is still running; closing ends it, so the
  // test fails at once instead of waiting for its time limit.
  if (client) await client.close().catch(() => {});
  if (hanging) await hanging.close().catch(() => {});
  if (xvfb) xvfb.server.kill();
  rmSync(scratch, { recursive: true, force: true });
}
