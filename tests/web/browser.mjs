// Debian's Chromium, headless, driven through puppeteer-core.
import puppeteer from 'puppeteer-core';

// options: more of puppeteer's, such as userDataDir for a profile kept between launches.
export async function launch(options = {}) {
  const args = ['--headless=new', '--disable-gpu', '--mute-audio', '--no-first-run',
                '--disable-background-timer-throttling', '--disable-renderer-backgrounding',
                '--disable-backgrounding-occluded-windows'];
  if (process.getuid && process.getuid() === 0) args.push('--no-sandbox');
  return puppeteer.launch({
    executablePath: process.env.KESTROVE_CHROMIUM || '/usr/bin/chromium',
    headless: true,
    args,
    ...options,
  });
}
